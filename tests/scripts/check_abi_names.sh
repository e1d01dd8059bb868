#!/usr/bin/env bash
# Checks the readers of scripts/abi.sh on tables of cases:
#   scripts/symbol_owner.awk      the owner of an exported symbol: a class
#                                 owns its members, virtual table, VTT and
#                                 type information; ABI tags, template
#                                 arguments, return types and parameters
#                                 are not part of a name
#   scripts/header_constants.awk  the constants that a header defines:
#                                 enumerators (scoped ones qualified),
#                                 constexpr and const variables, members of
#                                 a class among them; nothing else
#   scripts/abi_classes.awk       the classes that a description of abidw
#                                 defines (not those it only declares),
#                                 qualified, without template arguments
set -euo pipefail
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
enum class Mode : int { Off, On = 3 };
struct __attribute__((visibility("default"))) Box final {
  static constexpr unsigned kLimit = 4;
  enum Side { Left, Right };
  int size() const { constexpr int local = 2; return local; }
  int width = 0;
};
namespace ns { constexpr const char* kName = "n"; const int kCount = 2; }
constexpr int twice(int x) { return 2 * x; }
template <class T> constexpr bool always = true;
const char* mutable_text = "m";
extern const int kDeclared;'
expected='A_ONE
A_TWO
Box::Left
Box::Right
Box::kLimit
Mode::Off
Mode::On
ns::kCount
ns::kName'
same "constants of the sample header" "$expected" "$(awk -f "$root/scripts/header_constants.awk" <<<"$header" | sort)"

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
same "classes of the sample description" "$expected" "$(awk -f "$root/scripts/abi_classes.awk" <<<"$description" | sort)"

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "owners, constants and classes as expected"
