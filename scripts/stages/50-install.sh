#!/usr/bin/env bash
# Installs the library from a plain (no sanitizer) Release build into a
# temporary prefix, then builds the translator of examples/consumer against
# the installed tree, once finding zpi50 with find_package and once with
# pkg-config, and runs each: without a host (it must fail with a message)
# and under the scripted host tools/zpi_test_host, which runs an export and
# a part-import job with it end to end. It builds and runs the same
# translator a third time with classes of its own named like internal
# classes of the libraries, with virtual operations, functions of its own
# named like each that libzpi50 once called of libzbase50 under a name any
# program may define (tests/install/function_namesakes.txt), and functions
# of its own, meaning something else, named like each public function of
# libzbase50 that libzpi50 takes (tests/install/public_namesakes.sh, from
# the installed libraries; but those that the translator calls itself): its
# jobs must run as they do without them. It hands the library a curve of its own
# whose class bears the name of the library's class of curves, which the
# library must refuse, and one that throws an exception of its own named
# like the library's, which must come back to it (tests/install/own_curve.cpp).
#
# It fails when either installed library exports a test switch (a symbol of
# a class named *TestHooks; the build has ZPI_TEST_HOOKS off) or an internal
# name (a variable or thread-local other than the journal's recording flag,
# or a name of cmake/internal_names.txt); when the installed include folder
# is not exactly zpi50.h and the headers it brings in, or lacks a header of
# api/; when an export named in cmake/external_interface.txt is not exported
# or not declared by the installed headers; when an installed header does
# not compile on its own; when the binary interface differs from the stored
# description, or a constant of the installed headers its stored value
# (scripts/abi.sh check; an addition passes, and an incompatible change only
# with a new SOVERSION; scripts/abi.sh check refuses an install without
# debug information); when a library exports a symbol outside its public set
# (what the installed headers declare, and for zbase50 what zpi50 takes
# from it), or a public function is not exported (scripts/abi.sh exports);
# when a library reaches one of its own functions, or data that the
# installed headers do not declare (an internal class's virtual table or
# type information), through a dynamic relocation: another module could
# take it over (scripts/abi.sh relocations); when libzpi50 takes from
# libzbase50 a symbol that the installed headers do not declare under a
# name that is not the base library's own (zbase_internal), or a free
# function that they declare by its public name: a program defining that
# name would take the call over (scripts/abi.sh imports);
# when a library calls a function of the translator with the internal
# class and function names or the public function names (the program
# exports one that a library reaches through the dynamic linker); or when
# a translator fails. It also runs scripts/abi.sh on small libraries made for each case
# (tests/scripts/check_abi_cases.sh) and fails when one is not passed,
# failed or refused as it should be.
#
# Names (symbols, headers) are read under LC_ALL=C, the translator runs
# under the run's locale.
#
# INSTALL_BUILD_DIR  the plain build folder (default build/plain; a folder
#                    that is already there is reused and brought up to date)
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v pkg-config >/dev/null || need+=(pkg-config)
command -v nm >/dev/null || need+=(binutils)
command -v abidw >/dev/null || need+=(abigail-tools)
command -v clang++ >/dev/null || need+=(clang)
command -v jq >/dev/null || need+=(jq)
[ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
need_packages "${need[@]}"

start=$(date +%s)
build=${INSTALL_BUILD_DIR:-build/plain}
plain_build "$build" zpi50 zpi_test_host
built=$(date +%s)
echo "library built in $((built - start)) s"

on_exit
work=$(scratch -d)
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
include=$prefix/include/zpi50

# Each check of the installed libraries: `finder LIB` prints what is wrong
# with one (nothing when it is sound). A library it finds fault with fails
# the stage, with what it found; each library counts in the run's tally.
each_library() {
  local name=$1 fault=$2 ok=$3 finder=$4 lib found failed=0
  for lib in "$prefix"/lib/libzbase50.so "$prefix"/lib/libzpi50.so; do
    found=$("$finder" "$lib")
    if [ -n "$found" ]; then
      echo "$(basename "$lib") $fault:" >&2
      sed 's/^/  /' <<<"$found" | head -n 40 >&2
      failed=$((failed + 1))
    fi
  done
  if [ "$failed" -ne 0 ]; then
    tally "$name" 0 "$failed"
    exit 1
  fi
  echo "$ok"
  tally "$name" 2 0
}

# No test switch is exported by the shipped libraries.
test_switches() { nm -DC --defined-only "$1" | grep -E 'TestHooks\b' || true; }
each_library "no test switch exported" "exports test switches" \
  "no test switch exported by libzbase50 or libzpi50" test_switches

# Nor an internal name: no variable or thread-local (other modules would
# bind to its place) but the journal's recording flag, which the installed
# kkJournal::IsRecording reads inline, and none of cmake/internal_names.txt.
internal=0
for lib in "$prefix"/lib/libzbase50.so "$prefix"/lib/libzpi50.so; do
  if exported=$(nm -DC --defined-only "$lib" | LC_ALL=C grep -E '^[0-9a-fA-F]+ [BbDdGgRrSsVvu] ' |
      grep -vE ' (vtable|typeinfo|typeinfo name|VTT|construction vtable|guard variable) for |std::|kkJournal::recording_$'); then
    echo "$(basename "$lib") exports variables:" >&2
    echo "$exported" >&2
    internal=$((internal + 1))
  fi
done
names=0
while read -r name; do
  case $name in ''|'#'*) continue ;; esac
  names=$((names + 1))
  for lib in "$prefix"/lib/libzbase50.so "$prefix"/lib/libzpi50.so; do
    if nm -DC --defined-only "$lib" | LC_ALL=C sed 's/^[0-9a-fA-F]* [A-Za-z] //; s/(.*//' | grep -qxF "$name"; then
      echo "$(basename "$lib") exports the internal $name" >&2
      internal=$((internal + 1))
    fi
  done
done < cmake/internal_names.txt
if [ "$internal" -ne 0 ]; then
  tally "no internal name exported" 0 "$internal"
  exit 1
fi
echo "no variable and none of the $names internal names of cmake/internal_names.txt exported"
tally "no internal name exported" "$((names + 2))" 0

# Each library exports exactly its public set, symbol by symbol: what the
# installed headers declare, and (zbase50) what zpi50 takes from it.
scripts/abi.sh exports "$prefix"

# The libraries' references to their own functions bind to their own
# definitions (-Bsymbolic-functions), and to an internal class's data
# inside its library (it is hidden): no dynamic relocation names either,
# which a translator or another plug-in defining the same name would
# otherwise take over.
scripts/abi.sh relocations "$prefix"

# What libzpi50 calls of libzbase50 bears the base library's own name,
# which no program defines by accident, or belongs to a public class.
scripts/abi.sh imports "$prefix"

# What zpi50.h reaches from the installed folder alone (fails on a header
# that is not there), against what was installed.
if ! reached=$(g++ -std=c++17 -MM -I"$include" "$include/zpi50.h"); then
  echo "zpi50.h does not compile from the installed headers alone" >&2
  exit 1
fi
reached=$(printf '%s\n' "$reached" | tr ' \\' '\n\n' | grep '\.h$' | xargs -n1 basename | LC_ALL=C sort -u)
installed=$(cd "$include" && ls | LC_ALL=C sort)
if [ "$reached" != "$installed" ]; then
  echo "installed headers differ from what zpi50.h brings in:" >&2
  diff <(echo "$reached") <(echo "$installed") >&2 || true
  exit 1
fi
for header in $installed; do
  if [ ! -f "api/$header" ] && [ ! -f "base/$header" ] && ! ls base/*/"$header" >/dev/null 2>&1; then
    echo "installed header $header is not a public header of api/ or base/" >&2
    exit 1
  fi
done
for header in api/*.h; do
  if [ ! -f "$include/$(basename "$header")" ]; then
    echo "$header is not installed: every header of api/ is public" >&2
    exit 1
  fi
done
echo "installed headers: $(echo $installed | wc -w), exactly those zpi50.h brings in"
tally "installed headers" 1 0

# Every export of the external interface is exported and declared by the
# installed headers. A name is declared when a using-declaration of it
# compiles against them (access checks off: a class's private members are
# exported with it).
lib=$prefix/lib/libzpi50.so
symbols=$(nm -DC --defined-only "$lib" | LC_ALL=C sed 's/^[0-9a-fA-F]* [A-Za-z] //')
probe=$work/exports_probe.cpp
missing=0
count=0
{
  echo '#include "zpi50.h"'
  n=0
  while read -r entry; do
    case $entry in ''|'#'*) continue ;; esac
    n=$((n + 1))
    if [ "${entry%::\*}" != "$entry" ]; then
      class=${entry%::\*}
      members=$(grep "^$class::" <<<"$symbols" | sed "s/^$class:://; s/(.*//" |
                grep -v '^~' | grep -v '::' | LC_ALL=C sort -u || true)
      if [ -z "$members" ]; then
        echo "not exported: any member of $class" >&2
        missing=$((missing + 1))
        continue
      fi
      echo "struct probe_$n : $class {"
      for member in $members; do
        echo "  using $class::$member;"
        count=$((count + 1))
      done
      echo "};"
    else
      if ! grep -qE "^$entry(\(|$)" <<<"$symbols"; then
        echo "not exported: $entry" >&2
        missing=$((missing + 1))
        continue
      fi
      echo "namespace probe_$n { using ::$entry; }"
      count=$((count + 1))
    fi
  done < cmake/external_interface.txt
} > "$probe"
if [ "$missing" -ne 0 ]; then
  echo "$missing export(s) of cmake/external_interface.txt missing from $lib" >&2
  tally "external interface exports" "$count" "$missing"
  exit 1
fi
if ! g++ -std=c++17 -fno-access-control -fsyntax-only -I"$include" "$probe" 2>"$work/probe.log"; then
  echo "exports of cmake/external_interface.txt without a declaration in the installed headers:" >&2
  grep -E "error" "$work/probe.log" >&2 || cat "$work/probe.log" >&2
  tally "external interface exports" 0 1
  exit 1
fi
echo "external interface: $count exports, each exported and declared by the installed headers"
tally "external interface exports" "$count" 0

# The binary interface against the stored description (counted by abi.sh).
scripts/abi.sh check "$prefix"

# scripts/abi.sh itself, on small libraries made for each case: it passes
# what changes nothing for a translator, fails what does, and refuses a
# build it cannot judge (the test abi_cases, skipped where abigail-tools
# are missing).
if ! bash tests/scripts/check_abi_cases.sh "$PWD"; then
  tally "scripts/abi.sh cases" 0 1
  exit 1
fi
tally "scripts/abi.sh cases" 1 0

# The translator, each way. It runs without any library path set, as an
# installed program would: first with no host (a clear message and a
# nonzero exit), then under the scripted host.
host_tool=$PWD/$build/zpi_test_host
consumer() {
  local name=$1 source=$2
  shift 2
  cmake -S "$source" -B "$work/$name" -G Ninja "$@" >/dev/null
  cmake --build "$work/$name" -j "$(nproc)" >/dev/null
  local translator=$work/$name/consumer
  # (The host tool hands it a loopback port that refuses connections.)
  if env -u LD_LIBRARY_PATH "$host_tool" --refusing "$translator" >"$work/nohost.log" 2>&1; then
    echo "the translator did not fail without a host" >&2
    tally "translator without a host ($name)" 0 1
    exit 1
  fi
  if ! grep -q "cannot connect" "$work/nohost.log"; then
    echo "the translator failed without a host but did not say why:" >&2
    cat "$work/nohost.log" >&2
    tally "translator without a host ($name)" 0 1
    exit 1
  fi
  echo "without a host: $(cat "$work/nohost.log")"
  # The checks of the translator and of the host count in the run's tally
  # ("ok: ..." and "FAILED: ..." lines).
  local rc=0 ok failed
  env -u LD_LIBRARY_PATH "$host_tool" "$translator" | tee "$work/$name.log" || rc=$?
  ok=$(grep -c '^ok: ' "$work/$name.log" || true)
  failed=$(grep -c '^FAILED' "$work/$name.log" || true)
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
  fi
  tally "translator jobs ($name)" "$((ok + 1))" "$failed"
  return "$rc"
}
echo "--- translator with find_package"
consumer find_package examples/consumer -DCMAKE_PREFIX_PATH="$prefix"
echo "--- translator with pkg-config"
PKG_CONFIG_PATH=$prefix/lib/pkgconfig consumer pkg-config examples/consumer -DZPI_CONSUMER_PKGCONFIG=ON
# The libraries reach none of the translator's own classes that bear the
# names of their internal ones (their virtual tables, type information),
# nor its functions named like what libzpi50 once called of libzbase50,
# nor those named like each public function of libzbase50 that libzpi50
# takes (tests/install/public_namesakes.sh, from the installed libraries:
# the functions behind the base library's own names that libzpi50 calls,
# and any that it calls by the public name), which mean something else
# there, as a translator's own `long getmem(void)` would. Left out are the
# public functions that the translator calls itself (it would run its
# own): a build without them tells which.
echo "--- translator with classes and functions named like internal ones of the libraries, and like the public functions libzpi50 takes from libzbase50"
tests/install/public_namesakes.sh "$prefix" >"$work/public_taken"
: >"$work/public_namesakes"
cmake -S tests/install -B "$work/namesakes" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DZPI_PUBLIC_NAMESAKES="$work/public_namesakes" >/dev/null
cmake --build "$work/namesakes" -j "$(nproc)" >/dev/null
nm -D --undefined-only "$work/namesakes/consumer" | awk '{ sub(/@.*/, "", $NF); print $NF }' |
  LC_ALL=C sort -u | LC_ALL=C comm -12 "$work/public_taken" - >"$work/public_called"
LC_ALL=C comm -23 "$work/public_taken" "$work/public_called" >"$work/public_namesakes"
echo "the translator defines $(wc -l <"$work/public_namesakes") of the $(wc -l <"$work/public_taken") public functions that libzpi50 takes from libzbase50, each with another meaning"
if [ -s "$work/public_called" ]; then
  echo "left out, as the translator calls them itself: $(c++filt <"$work/public_called" | paste -sd ';' | sed 's/;/; /g')"
fi
consumer namesakes tests/install -DCMAKE_PREFIX_PATH="$prefix" -DZPI_PUBLIC_NAMESAKES="$work/public_namesakes"
# Nor any of their functions: the linker exports a program's own function
# when a library it links calls one of that name, which would then run in
# the library's stead (a namesake's destructor, say, for the library's own
# objects), and also when a library defines one (a public function of
# libzbase50): a library calls the program's function only by a name that
# it reaches through the dynamic linker (an undefined symbol or one that
# a dynamic relocation names; a library's calls of its own functions bind
# to them, scripts/abi.sh relocations). (An instantiation of the standard
# library's templates may be reached: every copy is the same. So may a
# public class's virtual table that the program's own class derived from
# it copied from the library at load time, a copy relocation: it is the
# library's own.)
readelf -rW "$work/namesakes/consumer" | awk '$3 ~ /_COPY$/ { sub(/@.*/, "", $5); print $5 }' >"$work/copied"
for lib in "$prefix"/lib/libzbase50.so "$prefix"/lib/libzpi50.so; do
  nm -D --undefined-only "$lib" | awk '{ sub(/@.*/, "", $NF); print $NF }'
  readelf -rW "$lib" | awk 'NF >= 5 && $1 ~ /^[0-9a-f]+$/ { sub(/@.*/, "", $5); print $5 }'
done >"$work/reached"
taken=$(nm -D --defined-only "$work/namesakes/consumer" |
  awk 'FILENAME == ARGV[1] { reached[$1] = 1; next }
    FILENAME == ARGV[2] { copied[$1] = 1; next }
    { sub(/@.*/, "", $3) }
    ($3 in reached) && $3 !~ /^_ZN?K?St/ && !($3 in copied) { print $3 }' \
    "$work/reached" "$work/copied" - | c++filt)
if [ -n "$taken" ]; then
  echo "the libraries call $(wc -l <<<"$taken") of the translator's own functions:" >&2
  sed 's/^/  /' <<<"$taken" >&2
  tally "the translator's own functions left to it" 0 1
  exit 1
fi
echo "the libraries call none of the translator's own functions"
tally "the translator's own functions left to it" 1 0

echo "install stage passed in $(($(date +%s) - start)) s"
