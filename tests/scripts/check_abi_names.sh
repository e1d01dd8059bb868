#!/usr/bin/env bash
# Checks the readers of scripts/abi.sh on tables of cases:
#   scripts/symbol_owner.awk      the owner of an exported symbol: a class
#                                 owns its members, virtual table, VTT and
#                                 type information; ABI tags, template
#                                 arguments, return types and parameters
#                                 are not part of a name
#   scripts/header_constants.awk  the constants that a header defines:
#                                 enumerators (scoped ones qualified),
#                                 constexpr and const variables (each
#                                 declarator, arrays, within extern "C"
#                                 and nested namespaces), static members
#                                 of a class among them, past attributes,
#                                 alignas and raw texts; nothing of a
#                                 template, nothing else
#   scripts/abi_classes.awk       the classes that a description of abidw
#                                 defines (not those it only declares),
#                                 qualified, without template arguments
#   scripts/abi_declared.jq       of clang's syntax tree, the functions and
#                                 variables that headers of one folder
#                                 declare and a library must define, their
#                                 bit-fields' widths, the classes they
#                                 define (not those they only declare),
#                                 the data members that a pointer to a
#                                 member names (not bit-fields nor
#                                 references; an anonymous union's by
#                                 their own names) and their typedefs
# (Under LC_ALL=C, as scripts/abi.sh runs them.)
set -euo pipefail
export LC_ALL=C
root=${1:?usage: check_abi_names.sh <source root>}
failed=0

# Counts a failure, showing the difference, when `got` is not `expected`.
same() {
  local what=$1 expected=$2 got=$3
  if [ "$got" != "$expected" ]; then
    echo "FAILED: $what:" >&2
    diff <(echo "$expected") <(echo "$got") >&2 || true
    failed=$((failed + 1))
  fi
}

# demangled name | kind | owner
while IFS='|' read -r name kind owner; do
  got=$(printf 'sym\t%s\n' "$name" | awk -f "$root/scripts/symbol_owner.awk" | cut -f 2,3)
  if [ "$got" != "$kind	$owner" ]; then
    echo "FAILED: owner of '$name': '$got', not '$kind	$owner'" >&2
    failed=$((failed + 1))
  fi
done <<'CASES'
vtable for KCStream|class|KCStream
typeinfo for xthrown|class|xthrown
typeinfo name for KCCommon|class|KCCommon
VTT for KDerived|class|KDerived
construction vtable for KBase-in-KDerived|class|KBase
non-virtual thunk to KPIFace_i::GetLoops()|class|KPIFace_i
kkJournalObjectText[abi:cxx11](xobject const*)|function|kkJournalObjectText
KXSimpleReason[abi:cxx11](xobject*)|function|KXSimpleReason
KCStream::Name[abi:cxx11]() const|class|KCStream
xrchandle<KPICurve>::release()|class|xrchandle
bool ZrPick<int>(int, std::vector<int, std::allocator<int> > const&)|function|ZrPick
operator<<(kkJournal&, KPICurveType)|function|operator<<
bool operator==<int>(xstring const&, int)|function|operator==
xstring::operator=(char const*)|class|xstring
guard variable for ZrTable()::table|function|ZrTable
KWPISession::Impl::Open(char const*)|class|KWPISession::Impl
vtable for KWPISession::Impl|class|KWPISession::Impl
CASES

header='enum { A_ONE = 1, A_TWO = (1 << 1), };
constexpr const char* kRaw = R"x(a"b)x";
enum class Mode : int { Off, On = 3 };
enum { E_SAME = std::is_same<int, long>::value, E_BRACED = int{1}, E_LAST };
[[deprecated("old")]] constexpr int kOld = 1;
struct alignas(8) [[nodiscard]] Al { static constexpr int kIn = 2; };
namespace ns::inner { constexpr int kDeep = 3; }
struct __attribute__((visibility("default"))) Box final {
  static constexpr unsigned kLimit = 4;
  enum Side { Left, Right };
  int size() const { constexpr int local = 2; return local; }
  int width = 0;
  const int per_box = 1;
};
namespace ns { constexpr const char* kName = "n"; const int kCount = 2; }
constexpr int twice(int x) { return 2 * x; }
template <class T> constexpr bool always = true;
template <class T> struct Tpl { static constexpr int kIn = 1; };
const char* mutable_text = "m";
extern const int kDeclared;
extern "C" { const int kLinked = 1; enum { C_ONE }; }
static const char* const kFirst = "a", *second = "b", *const kThird = "c";
constexpr int kRows = 2, kCols{3}, kBraced = {4}, kCast = int{5};
constexpr char kTag[] = "t";'
expected='A_ONE
A_TWO
Al::kIn
Box::Left
Box::Right
Box::kLimit
C_ONE
E_BRACED
E_LAST
E_SAME
Mode::Off
Mode::On
kBraced
kCast
kCols
kFirst
kLinked
kOld
kRaw
kRows
kTag
kThird
ns::inner::kDeep
ns::kCount
ns::kName'
same "constants of the sample header" "$expected" "$(awk -f "$root/scripts/header_constants.awk" <<<"$header" | LC_ALL=C sort)"

description="<abi-corpus version='2.1'>
  <abi-instr address-size='64' path='types.cpp'>
    <class-decl name='KCStream' size-in-bits='192' visibility='default' id='1'>
      <member-type access='private'>
        <class-decl name='Pair' size-in-bits='128' is-struct='yes' visibility='default' id='2'>
        </class-decl>
      </member-type>
    </class-decl>
    <class-decl name='btkString' visibility='default' is-declaration-only='yes' id='3'/>
    <namespace-decl name='ns'>
      <union-decl name='Cell' size-in-bits='64' visibility='default' id='4'>
      </union-decl>
      <class-decl name='xrchandle&lt;KPICurve&gt;' size-in-bits='64' visibility='default' id='5'>
      </class-decl>
    </namespace-decl>
    <class-decl name='Last' size-in-bits='8' visibility='default' id='6'>
    </class-decl>
  </abi-instr>
</abi-corpus>"
expected='KCStream
KCStream::Pair
Last
ns::Cell
ns::xrchandle'
same "classes of the sample description" "$expected" "$(awk -f "$root/scripts/abi_classes.awk" <<<"$description" | LC_ALL=C sort)"

# A syntax tree as clang dumps it, cut down: a location names its file only
# when it differs from the last one written (an includedFrom is none).
tree='{"kind": "TranslationUnitDecl", "inner": [
 {"kind": "NamespaceDecl", "loc": {"file": "/usr/include/c++/12/cstdio"}, "name": "std",
  "inner": [{"kind": "FunctionDecl", "loc": {}, "name": "puts", "mangledName": "puts"}]},
 {"kind": "LinkageSpecDecl", "loc": {"file": "inc/a.h", "includedFrom": {"file": "inc/b.h"}},
  "inner": [{"kind": "FunctionDecl", "loc": {}, "name": "c_fn", "mangledName": "c_fn"}]},
 {"kind": "CXXRecordDecl", "loc": {}, "name": "Pub", "completeDefinition": true, "inner": [
  {"kind": "CXXRecordDecl", "loc": {}, "isImplicit": true, "name": "Pub"},
  {"kind": "CXXConstructorDecl", "loc": {}, "name": "Pub", "mangledName": "_ZN3PubC1Ei"},
  {"kind": "CXXDestructorDecl", "loc": {}, "name": "~Pub", "mangledName": "_ZN3PubD1Ev"},
  {"kind": "CXXMethodDecl", "loc": {}, "name": "Get", "mangledName": "_ZNK3Pub3GetEv"},
  {"kind": "CXXMethodDecl", "loc": {}, "name": "In", "mangledName": "_ZNK3Pub2InEv", "inner": [{"kind": "CompoundStmt"}]},
  {"kind": "CXXMethodDecl", "loc": {}, "name": "Pure", "mangledName": "_ZN3Pub4PureEv", "pure": true},
  {"kind": "CXXConstructorDecl", "loc": {}, "name": "Pub", "mangledName": "_ZN3PubC1ERKS_", "explicitlyDeleted": true},
  {"kind": "CXXMethodDecl", "loc": {}, "name": "operator=", "mangledName": "_ZN3PubaSERKS_", "explicitlyDefaulted": "default"},
  {"kind": "CXXConstructorDecl", "loc": {}, "name": "Pub", "mangledName": "_ZN3PubC1EOS_", "isImplicit": true},
  {"kind": "VarDecl", "loc": {}, "name": "count_", "mangledName": "_ZN3Pub6count_E", "storageClass": "static"},
  {"kind": "VarDecl", "loc": {}, "name": "kMax", "mangledName": "_ZN3Pub4kMaxE", "storageClass": "static", "constexpr": true, "inline": true, "init": "c"},
  {"kind": "CXXRecordDecl", "loc": {}, "name": "Bits", "inner": [
   {"kind": "FieldDecl", "loc": {}, "name": "a", "isBitfield": true, "inner": [{"kind": "ConstantExpr", "value": "3"}]},
   {"kind": "FieldDecl", "loc": {}, "name": "n", "type": {"qualType": "int"}},
   {"kind": "FieldDecl", "loc": {}, "name": "r", "type": {"qualType": "const int &"}}]},
  {"kind": "CXXRecordDecl", "loc": {}, "tagUsed": "union", "inner": [
   {"kind": "FieldDecl", "loc": {}, "name": "one", "type": {"qualType": "double"}}]},
  {"kind": "FieldDecl", "loc": {}, "isImplicit": true, "type": {"qualType": "Pub::(anonymous union)"}},
  {"kind": "IndirectFieldDecl", "loc": {}, "isImplicit": true, "name": "one"}]},
 {"kind": "FunctionDecl", "loc": {}, "name": "inl", "mangledName": "_Z3inlv", "inline": true, "inner": [{"kind": "CompoundStmt"}]},
 {"kind": "FunctionTemplateDecl", "loc": {}, "name": "tpl", "inner": [{"kind": "FunctionDecl", "loc": {}, "name": "tpl"}]},
 {"kind": "FunctionDecl", "loc": {}, "name": "two", "mangledName": "_Z3twoi"},
 {"kind": "TypeAliasDecl", "loc": {}, "name": "Code"},
 {"kind": "CXXRecordDecl", "loc": {}, "name": "Fwd"},
 {"kind": "CXXRecordDecl", "loc": {"spellingLoc": {"file": "inc/m.h"}, "expansionLoc": {"file": "inc/a.h"}}, "name": "Macro",
  "inner": [{"kind": "CXXMethodDecl", "loc": {}, "name": "Run", "mangledName": "_ZN5Macro3RunEv"}]},
 {"kind": "FunctionDecl", "loc": {"file": "other/c.h"}, "name": "three", "mangledName": "_Z5threei"},
 {"kind": "FunctionDecl", "loc": {}, "name": "four", "mangledName": "_Z4fouri"}]}'
expected=$(printf '%s\n' 'needed	c_fn' 'record	Pub' 'needed	_ZN3PubC1Ei' 'needed	_ZN3PubD1Ev' 'needed	_ZNK3Pub3GetEv' \
  'needed	_ZN3Pub6count_E' 'bitfield	Pub::Bits::a	3' 'field	Pub::Bits::n' 'field	Pub::one' 'needed	_Z3twoi' 'typedef	Code' \
  'needed	_ZN5Macro3RunEv')
same "declarations of the sample tree" "$expected" "$(jq -r --arg dir inc/ -f "$root/scripts/abi_declared.jq" <<<"$tree")"

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "owners, constants, classes and declarations as expected"
