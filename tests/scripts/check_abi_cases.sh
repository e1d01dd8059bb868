#!/usr/bin/env bash
# Runs scripts/abi.sh on two small libraries, built anew for each case from
# one header, against the description of their first build: the check
# passes what changes nothing for a translator (a member renamed beneath a
# union; the same build installed under a prefix whose name holds blanks
# and pattern characters, checked with a temporary folder whose name holds
# a blank, a quote, "&" and a backslash (and every case under a folder
# whose name holds a blank and "ü"), with its debug information
# compressed, or with a version given to each export), fails what does (a
# member's type beneath a union, two of its members swapped, a struct's
# alignment, of one named by a typedef only too, a typedef's type, a
# macro's value, one with a cast, one naming another enumerator, a
# constant within extern "C", one after a pragma, an element of a constant
# array, a long double within its own precision, a text after a nul within
# it, a public class's type information no longer exported; a constant
# changed under #if __cplusplus > 201703L, a class's members swapped under
# #ifdef __clang__, as the other dialects and compilers read them), tells
# the macros that are no constant, the lines that C++20 alone reads, the
# branches on a macro that neither dialect nor compiler sets and those
# that no dialect or compiler here reads (C++26, a later clang) (not
# judged),
# refuses a build that it cannot judge (clang, link-time optimisation,
# debug information without types), saying why, and judges the exports of
# a split-DWARF build.
#
# Needs what scripts/abi.sh needs (abigail-tools, clang, jq); without them
# it is skipped (status 77): the install stage, which installs them, runs
# it too.
#
# The imports of the second library pass its calls of the first by the
# first's own names, and fail a call of a public function of the first by
# its public name, one declared in a namespace too.
set -euo pipefail
root=$(cd "${1:?usage: check_abi_cases.sh <source root>}" && pwd)
for tool in abidw abidiff clang++ jq; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: no $tool (the install stage installs it and runs these cases)"
    [ -z "${ZPI_SKIP_LOG:-}" ] || printf 'abi_cases\tno %s here (the install stage runs these cases)\n' "$tool" >>"$ZPI_SKIP_LOG"
    exit 77
  fi
done
# The checks of the cases count here, not in the run's tally.
unset ZPI_TALLY ZPI_SKIPS
# (Every case in a folder whose name holds a blank and a character outside
# ASCII, which clang's preprocessor writes escaped where g++ does not.)
work=$(mktemp -d --tmpdir "abi cases ü.XXXXXX")
trap 'trap "" INT TERM HUP; rm -rf "$work"' EXIT
failed=0
cases=0

cat >"$work/original.h" <<'HEADER'
#pragma once
#include <stdint.h>
#define ZPI_API __attribute__((visibility("default")))
constexpr int kLimit = 4;
#pragma pack(push, 8)
constexpr int kPacked = 2;
#pragma pack(pop)
#define ZPI_STEPS 8
enum Side { SIDE_LEFT, SIDE_RIGHT };
#define ZPI_NONE ((int32_t)-1)
#define ZPI_FIRST_SIDE SIDE_LEFT
#define ZPI_HANDLE void*
#define ZPI_NO_SHAPE nullptr
#define ZPI_SOURCE __FILE__
constexpr double kTolerances[] = {1e-6, 1e-9};
constexpr long double kFine = 0.1L;
constexpr char kTagged[] = "ab\0c";
extern "C" {
const int zpi_version = 5;
}
#if __cplusplus > 201703L
constexpr int kModern = 3;
#else
constexpr int kModern = 3;
#endif
#if __cplusplus > 201703L
constexpr int kOnlyModern = 1;
#endif
#ifdef __clang__
struct Tagged { int tag; double value; };
#else
struct Tagged { int tag; double value; };
#endif
#ifdef ZPI_OPT_IN
constexpr int kOptIn = 1;
#endif
#if __cplusplus > 202302L
constexpr int kLater = 1;
#elif defined(__clang__) && __clang_major__ > 99
constexpr int kLater = 2;
#else
/* Read by every dialect and compiler
   here. */
constexpr int kLater = 3;
#endif
struct Uv {
    double uv[2];
};
using Display = int32_t;
typedef struct {
    double u;
    double v;
} UvPair;
struct Rec {
    int kind;
    union {
        struct {
            double a;
            double b;
        } two;
        double one;
    };
};
class ZPI_API Shape {
public:
    virtual ~Shape();
    virtual int Kind() const;
};
ZPI_API int zpi_fill(Rec* rec);
HEADER
cat >"$work/zbase.cpp" <<'SOURCE'
namespace zbase_internal {
__attribute__((visibility("default"))) int zbase_twice(int v) { return 2 * v; }
}
#ifdef PUBLIC_CALL
__attribute__((visibility("default"))) int zbase_count() { return 3; }
#endif
#ifdef PUBLIC_NAMESPACE_CALL
namespace zb { __attribute__((visibility("default"))) int count() { return 3; } }
#endif
SOURCE
cat >"$work/zpi.cpp" <<'SOURCE'
#include "zpi50.h"
namespace zbase_internal { int zbase_twice(int v); }
using zbase_internal::zbase_twice;
Shape::~Shape() = default;
int Shape::Kind() const { return zbase_twice(1); }
int zpi_fill(Rec* rec) { rec->kind = zbase_twice(2); return 0; }
#ifdef PUBLIC_CALL
int zpi_count() { return zbase_count(); }
#endif
#ifdef PUBLIC_NAMESPACE_CALL
int zpi_count() { return zb::count(); }
#endif
SOURCE
printf '{ global: *; local: _ZTI5Shape; _ZTS5Shape; };\n' >"$work/hide_typeinfo.map"
printf 'ZPI_5 { global: *; };\n' >"$work/versions.map"

# Builds and installs both libraries into `prefix` from the header, edited
# by the sed script `edit`, with COMPILER (g++) and FLAGS.
build() {
  local prefix=$1 edit=$2 cxx=${3:-g++}
  shift 3
  rm -rf "$prefix"
  mkdir -p "$prefix/include/zpi50" "$prefix/lib"
  sed -e "$edit" "$work/original.h" >"$prefix/include/zpi50/zpi50.h"
  # (In the prefix, where -gsplit-dwarf writes its .dwo files.)
  cd "$prefix/lib"
  "$cxx" -std=c++17 -g -fPIC -shared -fvisibility=hidden "$@" -Wl,-soname,libzbase50.so.1 \
    "$work/zbase.cpp" -o "$prefix/lib/libzbase50.so"
  "$cxx" -std=c++17 -g -fPIC -shared -fvisibility=hidden "$@" -I"$prefix/include/zpi50" \
    -Wl,-Bsymbolic-functions -Wl,-soname,libzpi50.so.1 "$work/zpi.cpp" -L"$prefix/lib" -lzbase50 \
    -o "$prefix/lib/libzpi50.so"
  cd "$work"
}

export ZPI_ABI_STORED=$work/stored ZPI_ABI_EXTERNAL=$work/external.txt
: >"$ZPI_ABI_EXTERNAL"
build "$work/first" '' g++
"$root/scripts/abi.sh" describe "$work/first" "$ZPI_ABI_STORED" >/dev/null

# One case, in folders of its own (the cases run several at once): its
# failure, if any, is written to "$dir/failed".
run_case() {
  local dir=$1 what=$2 command=$3 expected=$4 text=$5 edit=$6 cxx=$7 flags=$8
  local prefix=$dir/prefix tmp=$dir/tmp status=passes words
  case $what in unchanged*) prefix=$dir/'p +[*\&|]x' tmp=$dir/'t \n"&' ;; esac
  mkdir -p "$tmp"
  # (The flags are words; the maps' paths, which may hold blanks, go into
  # the words once they are split.)
  read -ra words <<<"$flags"
  words=("${words[@]//HIDE/"$work"/hide_typeinfo.map}")
  words=("${words[@]//VERSIONS/"$work"/versions.map}")
  build "$prefix" "$edit" "${cxx:-g++}" "${words[@]}"
  TMPDIR=$tmp "$root/scripts/abi.sh" "$command" "$prefix" >"$dir/out" 2>&1 || status=fails
  if [ "$status" != "$expected" ] || ! grep -qF -- "$text" "$dir/out"; then
    {
      echo "FAILED: $what: scripts/abi.sh $command $status, not $expected$([ -n "$text" ] && echo ", saying '$text'"):"
      sed 's/^/  /' "$dir/out" | head -n 40
    } >"$dir/failed"
  fi
  rm -rf "$prefix" "$tmp"
}

# what | COMMAND of scripts/abi.sh | passes or fails | a text its output holds
# | the sed script for the header | the compiler | its flags. As many cases
# run at once as there are cores (each compiles, and most of the time is
# the compilers').
at_once=$(nproc 2>/dev/null || echo 2)
while IFS='|' read -r what command expected text edit cxx flags; do
  cases=$((cases + 1))
  mkdir -p "$work/case$cases"
  ( run_case "$work/case$cases" "$what" "$command" "$expected" "$text" "$edit" "$cxx" "$flags" ) \
    || echo "FAILED: $what: the case itself failed (status $?)" >"$work/case$cases/failed" &
  while [ "$(jobs -rp | wc -l)" -ge "$at_once" ]; do wait -n || true; done
done <<'CASES'
unchanged, under a prefix with blanks and pattern characters|exports|passes|the 3 virtual tables, VTTs and type information of public classes|||
unchanged, under a prefix with blanks and pattern characters|relocations|passes|none of its own functions|||
unchanged, under a prefix with blanks and pattern characters|imports|passes|1 of the base library's own names|||
unchanged, under a prefix with blanks and pattern characters|check|passes|constants: the 25 stored values||g++|
unchanged, its dialects and compilers judged|check|passes|views: the constants, alignments, typedefs and layouts of the installed headers as g++ -std=c++20, g++ -std=c++2b, clang++ -std=c++17, clang++ -std=c++20, clang++ -std=c++2b are those of g++ -std=c++17||g++|
unchanged, its branches that no dialect or compiler chooses told|check|passes|read with none of them defined: zpi50.h:34 (#ifdef ZPI_OPT_IN)||g++|
a constant changed under #if __cplusplus > 201703L|check|fails|kModern: i32 3 -> i32 4|0,/kModern = 3/s//kModern = 4/|g++|
a class's members swapped under #ifdef __clang__|check|fails|Tagged::tag: offset 0 int -> offset 8 int|0,/{ int tag; double value; }/s//{ double value; int tag; }/|g++|
a constant that no dialect or compiler here reads changed, told as not judged|check|passes|the branches that no dialect or compiler here reads (a later dialect's, another compiler's or version's): zpi50.h:37 (#if __cplusplus > 202302L); zpi50.h:39 (#elif defined(__clang__) && __clang_major__ > 99)|s/kLater = [12]/kLater = 4/|g++|
a constant that C++20 alone reads changed, told as not judged|check|passes|g++ -std=c++20 reads the installed headers otherwise at zpi50.h:27: what only it declares there|s/kOnlyModern = 1/kOnlyModern = 2/|g++|
unchanged, its macros that are not constants told|check|passes|left out, not constants that the list shows: the macros ZPI_API, ZPI_HANDLE, ZPI_NO_SHAPE, ZPI_SOURCE (an attribute, a type, a code fragment or no value; a pointer other than a text, a class; the place or time of its use)||g++|
a member renamed beneath a union|check|passes|types: the stored layouts|s/double a;/double first;/|g++|
two members swapped beneath a union|check|fails|changed under the same SONAME|s/double a;/double TMP;/; s/double b;/double a;/; s/double TMP;/double b;/|g++|
a member's type changed beneath a union|check|fails|changed under the same SONAME|s/double b;/int64_t b;/|g++|
a struct aligned anew, its size kept|check|fails|Uv: align 8 -> align 16|s/struct Uv/struct alignas(16) Uv/|g++|
a struct named by a typedef only, aligned anew|check|fails|UvPair: align 8 -> align 16|s/typedef struct {/typedef struct alignas(16) {/|g++|
a macro's value changed|check|fails|ZPI_STEPS: i32 8 -> i32 9|s/ZPI_STEPS 8/ZPI_STEPS 9/|g++|
a macro's value with a cast changed|check|fails|ZPI_NONE: i32 -1 -> i32 -2|s/((int32_t)-1)/-2/|g++|
a macro naming another enumerator|check|fails|ZPI_FIRST_SIDE: u32 0 -> u32 1|s/ZPI_FIRST_SIDE SIDE_LEFT/ZPI_FIRST_SIDE SIDE_RIGHT/|g++|
a constant within extern "C" changed|check|fails|zpi_version: i32 5 -> i32 6|s/zpi_version = 5/zpi_version = 6/|g++|
an element of a constant array changed|check|fails|kTolerances[1]: f64 1.0000000000000001e-09 -> f64 1e-08|s/1e-9}/1e-8}/|g++|
a constant after a pragma changed|check|fails|kPacked: i32 2 -> i32 3|s/kPacked = 2/kPacked = 3/|g++|
a long double changed within its own precision|check|fails|kFine: f128 0.100000000000000000001 -> f128 0.100000000000000000103|s/0.1L/0.1000000000000000001L/|g++|
a text changed after a nul within it|check|fails|kTagged[3]: i8 99 -> i8 100|s/ab\\0c/ab\\0d/|g++|
a typedef naming another type|check|fails|Display: typedef int -> typedef long|s/Display = int32_t/Display = int64_t/|g++|
every export given a version|exports|passes|the 3 virtual tables||g++|-Wl,--version-script=VERSIONS
every export given a version|imports|passes|1 of the base library's own names||g++|-Wl,--version-script=VERSIONS
a public function of the base called by its public name|imports|fails|  zbase_count()|s/^ZPI_API int zpi_fill(Rec\* rec);/&\nZPI_API int zbase_count();/|g++|-DPUBLIC_CALL
a public function of the base in a namespace called by its public name|imports|fails|  zb::count()|s/^ZPI_API int zpi_fill(Rec\* rec);/&\nnamespace zb { ZPI_API int count(); }/|g++|-DPUBLIC_NAMESPACE_CALL
a public class's type information left unexported|exports|fails|typeinfo for Shape||g++|-Wl,--version-script=HIDE
compressed debug information (-gz=zlib-gnu)|check|passes|types: the stored layouts||g++|-gz=zlib-gnu
built with -g1 (no types in the debug information)|check|fails|debug information without the types||g++|-g1
split debug information, its exports|exports|passes|the 3 virtual tables||g++|-gsplit-dwarf
built by clang|check|fails|clang version||clang++|
built with link-time optimisation|check|fails|link-time optimisation (-flto)||g++|-flto
CASES
wait
for ((n = 1; n <= cases; n++)); do
  if [ -e "$work/case$n/failed" ]; then
    cat "$work/case$n/failed" >&2
    failed=$((failed + 1))
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "$failed of the $cases cases of scripts/abi.sh not as expected" >&2
  exit 1
fi
echo "scripts/abi.sh: each of the $cases cases as expected"
