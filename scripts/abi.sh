#!/usr/bin/env bash
# The binary interface of the shipped libraries, described and checked
# against the stored description (cmake/abi/libzbase50.abi and
# cmake/abi/libzpi50.abi).
#
#   scripts/abi.sh remake            builds the libraries as the install stage
#                                    does (INSTALL_BUILD_DIR, default
#                                    build/plain), installs them into a
#                                    temporary prefix and stores their
#                                    description in cmake/abi/
#   scripts/abi.sh check PREFIX      describes the libraries installed under
#                                    PREFIX and compares them with the stored
#                                    description (the install stage runs it)
#   scripts/abi.sh describe PREFIX DIR   only describes, into DIR
#
# A description is abidw's (abigail-tools) of a build with debug information
# (without it abidw sees symbols only, not class layouts), limited to what a
# translator can reach: the exported symbols that the installed headers
# declare (the members of the classes they define, the functions they
# declare exported) and the types those use, as the installed headers define
# them. Internal names that the libraries export for the tests are left out,
# so they may change freely.
#
# The check fails on any change to what the stored description holds: a
# symbol gone, a class whose size, members, bases or virtual slots changed, a
# function whose signature changed. Added symbols pass (they are told, as a
# reminder to remake the description once merged). An incompatible change
# passes only with a new SOVERSION, which the libraries' SONAME carries, so
# that a translator built against the earlier libraries does not load them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

stored=cmake/abi
libraries=(zbase50 zpi50)

# What a description leaves out of `lib`, as abidw's suppressions: the
# exported symbols that the installed headers in `include` do not declare
# (members of a class that they define, with its virtual table, type
# information and thunks, and free functions that they declare exported),
# and the functions and variables that are not of such a class or such a
# function: members of other classes, of the standard library, and of class
# templates, which are inline. A public class keeps its operations without
# a symbol too (pure ones): their slots are part of the interface.
suppressions() {
  local include=$1 lib=$2 text
  # The headers' own lines as zpi50.h brings them in, macros expanded.
  text=$(g++ -std=c++17 -E -I"$include" -x c++ "$include/zpi50.h" 2>/dev/null |
    awk -v dir="$include/" '/^# [0-9]+ "/ { f = $3; gsub(/"/, "", f); ours = index(f, dir) == 1; next } ours' |
    tr '\n' ' ' | sed 's/__attribute__((visibility("default")))/EXPORTED/g')
  {
    grep -oE '\b(class|struct)[[:space:]]+(EXPORTED[[:space:]]+)?[A-Za-z_][A-Za-z0-9_]*[[:space:]]*(final[[:space:]]*)?[:{]' <<<"$text" |
      sed -E 's/^(class|struct)[[:space:]]+(EXPORTED[[:space:]]+)?//; s/[[:space:]]*(final[[:space:]]*)?[:{]$//; s/^/class /'
    grep -oE 'EXPORTED[^;{}()]*[^A-Za-z0-9_](~?[A-Za-z_][A-Za-z0-9_]*|operator[^[:space:](]+)[[:space:]]*\(' <<<"$text" |
      sed -E 's/[[:space:]]*\($//; s/.*[^A-Za-z0-9_]((operator[^[:space:](]+)|[A-Za-z_][A-Za-z0-9_]*)$/function \1/'
  } | sort -u >"$work/declared"
  # Each exported symbol with its owner: the class its demangled name is
  # scoped in, or the function it is.
  nm -D --defined-only "$lib" | awk '{ print $3 }' | sort -u >"$work/exported"
  c++filt <"$work/exported" | paste "$work/exported" - | awk -F '\t' '
    {
      name = $2
      if (name ~ /^construction vtable for /) { print $1 "\t-\t-"; next }
      sub(/^(vtable|typeinfo name|typeinfo|VTT|guard variable) for /, "", name)
      sub(/^(non-)?virtual thunk to /, "", name)
      if ((p = index(name, "("))) name = substr(name, 1, p - 1)
      kind = "function"
      if ((p = index(name, "::"))) { name = substr(name, 1, p - 1); kind = "class" }
      if (name !~ /^operator/ && (p = index(name, "<"))) name = substr(name, 1, p - 1)
      print $1 "\t" kind "\t" name
    }' >"$work/owners"
  awk -F '\t' -v declared="$work/declared" '
    BEGIN { while ((getline line < declared) > 0) { split(line, w, " "); names[w[1], w[2]] = 1 } }
    !(($2, $3) in names) { print $1 }' "$work/owners" >"$work/internal"
  # The classes kept: those of the headers that own a public symbol (class
  # templates own none); and the functions.
  awk -F '\t' -v declared="$work/declared" '
    BEGIN { while ((getline line < declared) > 0) { split(line, w, " "); names[w[1], w[2]] = 1 } }
    $2 == "class" && (($2, $3) in names) { print $3 }' "$work/owners" | sort -u | paste -sd '|' >"$work/classes"
  awk '$1 == "function" { gsub(/[][\\.*+?^$(){}|]/, "\\\\&", $2); print $2 }' "$work/declared" |
    paste -sd '|' >"$work/functions"
  local kind
  for kind in function variable; do
    printf '[suppress_%s]\n  symbol_name_regexp = ^(%s)$\n  drop = yes\n' \
      "$kind" "$(sed 's/[.$]/\\&/g' "$work/internal" | paste -sd '|')"
    printf '[suppress_%s]\n  name_not_regexp = ^((%s)(::|<)|(%s)$)\n  drop = yes\n' \
      "$kind" "$(cat "$work/classes")" "$(cat "$work/functions")"
  done
}

# Describes the libraries installed under `prefix` into `dir`.
describe() {
  local prefix dir=$2 include name
  prefix=$(cd "$1" && pwd)
  include=$prefix/include/zpi50
  mkdir -p "$dir"
  for name in "${libraries[@]}"; do
    suppressions "$include" "$prefix/lib/lib$name.so" >"$work/$name.suppressions"
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed --drop-undefined-syms \
      --drop-private-types --headers-dir "$include" --type-id-style hash \
      --suppressions "$work/$name.suppressions" --out-file "$work/$name.abi" "$prefix/lib/lib$name.so"
    # abidw keeps the symbols of thread-locals whatever the suppressions say.
    awk -v internal="$work/internal" '
      BEGIN { while ((getline s < internal) > 0) drop["<elf-symbol name=\x27" s "\x27"] = 1 }
      match($0, /<elf-symbol name=\x27[^\x27]*\x27/) && (substr($0, RSTART, RLENGTH) in drop) { next }
      { print }' "$work/$name.abi" >"$dir/lib$name.abi"
  done
}

soname() { sed -n "s/.*<abi-corpus [^>]*soname='\([^']*\)'.*/\1/p" "$1" | head -n 1; }

# Compares the libraries installed under `prefix` with the stored
# description; counts each library in the run's tally.
check() {
  local prefix=$1 name failed=0 rc was now
  describe "$prefix" "$work/now"
  for name in "${libraries[@]}"; do
    if [ ! -f "$stored/lib$name.abi" ]; then
      echo "no stored description of lib$name: make it with scripts/abi.sh remake" >&2
      tally "binary interface of lib$name" 0 1
      failed=1
      continue
    fi
    rc=0
    abidiff --no-added-syms "$stored/lib$name.abi" "$work/now/lib$name.abi" >"$work/report" 2>&1 || rc=$?
    was=$(soname "$stored/lib$name.abi")
    now=$(soname "$work/now/lib$name.abi")
    if [ $((rc & 3)) -ne 0 ]; then
      echo "abidiff could not compare lib$name (status $rc):" >&2
      cat "$work/report" >&2
      tally "binary interface of lib$name" 0 1
      failed=1
    elif [ "$rc" -ne 0 ] && [ "$was" = "$now" ]; then
      echo "the binary interface of lib$name changed under the same SONAME $now:" >&2
      cat "$work/report" >&2
      echo "Keep the layout (or, for an incompatible change, raise the SOVERSION in" >&2
      echo "CMakeLists.txt and say in the README that translators are rebuilt), then" >&2
      echo "remake the stored description: scripts/abi.sh remake" >&2
      tally "binary interface of lib$name" 0 1
      failed=1
    elif [ "$rc" -ne 0 ]; then
      echo "lib$name: the binary interface changed with the SONAME ($was -> $now); remake the stored description: scripts/abi.sh remake"
      tally "binary interface of lib$name" 1 0
    else
      rc=0
      abidiff "$stored/lib$name.abi" "$work/now/lib$name.abi" >"$work/report" 2>&1 || rc=$?
      if [ "$rc" -ne 0 ]; then
        echo "lib$name: compatible with the stored description, with additions (remake it once merged: scripts/abi.sh remake):"
        grep -E '^(Functions|Variables) changes summary' "$work/report" | sed 's/^/  /'
      else
        echo "lib$name: the binary interface is the stored one"
      fi
      tally "binary interface of lib$name" 1 0
    fi
  done
  return "$failed"
}

command -v abidw >/dev/null || need_packages abigail-tools
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case ${1:-} in
remake)
  build=${INSTALL_BUILD_DIR:-build/plain}
  plain_build "$build" zpi50
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  describe "$work/prefix" "$stored"
  for name in "${libraries[@]}"; do
    echo "$stored/lib$name.abi: $(soname "$stored/lib$name.abi"), $(grep -c '<elf-symbol ' "$stored/lib$name.abi") symbols"
  done
  ;;
check) check "${2:?usage: scripts/abi.sh check PREFIX}" ;;
describe) describe "${2:?usage: scripts/abi.sh describe PREFIX DIR}" "${3:?usage: scripts/abi.sh describe PREFIX DIR}" ;;
*)
  echo "usage: scripts/abi.sh remake | check PREFIX | describe PREFIX DIR" >&2
  exit 2
  ;;
esac
