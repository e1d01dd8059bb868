#!/usr/bin/env bash
# The binary interface of the shipped libraries, described and checked
# against the stored description (cmake/abi/libzbase50.abi,
# cmake/abi/libzpi50.abi, and cmake/abi/constants.txt for the constants of
# the installed headers).
#
#   scripts/abi.sh remake            builds the libraries as the install stage
#                                    does (INSTALL_BUILD_DIR, default
#                                    build/plain), installs them into a
#                                    temporary prefix and stores their
#                                    description in cmake/abi/
#   scripts/abi.sh check PREFIX      describes the libraries installed under
#                                    PREFIX and compares them with the stored
#                                    description (the install stage runs it)
#   scripts/abi.sh exports PREFIX    checks that each library installed under
#                                    PREFIX exports exactly its public set
#   scripts/abi.sh describe PREFIX DIR   only describes, into DIR
#
# The public set of a library: the exported symbols whose owner (the class
# whose member, virtual table, VTT or type information a symbol is, or the
# function it is; scripts/symbol_owner.awk) the installed headers declare,
# the exports of cmake/external_interface.txt, for zbase50 what libzpi50
# takes from it, and for zpi50 the type information of zbase50's public
# classes.
#
# A description is abidw's (abigail-tools) of a build with debug information
# (without it abidw sees symbols only, not class layouts), limited to the
# public set and the types it uses, as the installed headers define them;
# and the list of the constants that the installed headers define, with
# their types and values, as a program compiled against them prints them.
#
# The check fails on any change to what the stored description holds: a
# symbol gone, a class whose size, members, bases or virtual slots changed, a
# function whose signature changed, a constant whose value changed or that
# is gone. Added symbols and constants pass (they are told, as a reminder to
# remake the description once merged). An incompatible change passes only
# with a new SOVERSION, which the libraries' SONAME carries, so that a
# translator built against the earlier libraries does not load them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

stored=cmake/abi
libraries=(zbase50 zpi50)

# The installed headers' own text as zpi50.h brings it in, macros expanded,
# the export macros written EXPORTED.
header_text() {
  local include=$1
  g++ -std=c++17 -E -I"$include" -x c++ "$include/zpi50.h" 2>/dev/null |
    awk -v dir="$include/" '
      # A line marker: # LINE "FILE" FLAGS (FILE may hold blanks).
      /^# [0-9]+ "/ { f = $0; sub(/^# [0-9]+ "/, "", f); sub(/"[^"]*$/, "", f); ours = index(f, dir) == 1; next }
      ours' |
    tr '\n' ' ' | sed 's/__attribute__((visibility("default")))/EXPORTED/g'
}

# What the installed headers in `include` declare, into $work/declared:
# "class NAME" for each class they define or name, "function NAME" for each
# function they declare exported.
declared() {
  local text
  text=$(header_text "$1")
  {
    grep -oE '\b(class|struct)[[:space:]]+(EXPORTED[[:space:]]+)?[A-Za-z_][A-Za-z0-9_]*[[:space:]]*(final[[:space:]]*)?[:{;]' <<<"$text" |
      sed -E 's/^(class|struct)[[:space:]]+(EXPORTED[[:space:]]+)?//; s/[[:space:]]*(final[[:space:]]*)?[:{;]$//; s/^/class /'
    grep -oE 'EXPORTED[^;{}()]*[^A-Za-z0-9_](~?[A-Za-z_][A-Za-z0-9_]*|operator[^[:space:](]+)[[:space:]]*\(' <<<"$text" |
      sed -E 's/[[:space:]]*\($//; s/.*[^A-Za-z0-9_]((operator[^[:space:](]+)|[A-Za-z_][A-Za-z0-9_]*)$/function \1/'
  } | sort -u >"$work/declared"
}

# Each symbol that `lib` exports, with its owner (scripts/symbol_owner.awk),
# into `file`: "symbol<TAB>kind<TAB>owner".
owners() {
  nm -D --defined-only "$1" | awk '{ print $3 }' | sort -u >"$work/symbols"
  c++filt <"$work/symbols" | paste "$work/symbols" - | awk -f scripts/symbol_owner.awk >"$2"
}

# The owners that cmake/external_interface.txt names, "kind name" a line.
external_owners() {
  awk '!/^(#|$)/ { if (sub(/::\*$/, "")) print "class " $0; else print "function " $0 }' cmake/external_interface.txt
}

# The symbols of an owners file (owners()) whose owner is not public in
# lib`name` ($work/public.`name`).
not_public() {
  awk -F '\t' -v public="$work/public.$1" '
    BEGIN { while ((getline line < public) > 0) { split(line, w, " "); names[w[1], w[2]] = 1 } }
    !(($2, $3) in names) { print $1 }' "$2"
}

# The public owners of lib`name` installed under `prefix`, into
# $work/public.`name`, "kind name" a line: what the installed headers declare
# ($work/declared), for zpi50 the external interface
# (cmake/external_interface.txt) and zbase50's public classes, for zbase50
# the owners of what libzpi50 takes from it. zbase50 comes first.
public_owners() {
  local prefix=$1 name=$2
  {
    cat "$work/declared"
    if [ "$name" = zpi50 ]; then
      external_owners
      # The type information of zbase50's public classes, which zpi50
      # carries too where its code needs it.
      grep '^class ' "$work/public.zbase50"
    else
      owners "$prefix/lib/libzbase50.so" "$work/owners.zbase50"
      nm -D --undefined-only "$prefix/lib/libzpi50.so" | awk '{ print $NF }' | sort -u >"$work/taken"
      awk -F '\t' -v taken="$work/taken" 'BEGIN { while ((getline s < taken) > 0) t[s] = 1 }
        $1 in t { print $2 " " $3 }' "$work/owners.zbase50"
    fi
  } | sort -u >"$work/public.$name"
}

# What a description leaves out of lib`name`, as abidw's suppressions: the
# exported symbols whose owner is not public (none, once the library exports
# only its interface), and the functions and variables of the debug
# information that no public owner holds: members of other classes, of the
# standard library, and of class templates, which are inline. A public
# class keeps its operations without a symbol too (pure ones): their slots
# are part of the interface.
suppressions() {
  local prefix=$1 name=$2 kind
  owners "$prefix/lib/lib$name.so" "$work/owners"
  not_public "$name" "$work/owners" >"$work/internal"
  # The classes kept: the public ones that own an exported symbol (class
  # templates own none); and the public functions.
  awk -F '\t' -v public="$work/public.$name" '
    BEGIN { while ((getline line < public) > 0) { split(line, w, " "); names[w[1], w[2]] = 1 } }
    $2 == "class" && (($2, $3) in names) { print $3 }' "$work/owners" | sort -u | paste -sd '|' >"$work/classes"
  awk '$1 == "function" { gsub(/[][\\.*+?^$(){}|]/, "\\\\&", $2); print $2 }' "$work/public.$name" |
    paste -sd '|' >"$work/functions"
  for kind in function variable; do
    printf '[suppress_%s]\n  symbol_name_regexp = ^(%s)$\n  drop = yes\n' \
      "$kind" "$(sed 's/[.$]/\\&/g' "$work/internal" | paste -sd '|')"
    printf '[suppress_%s]\n  name_not_regexp = ^((%s)(::|<)|(%s)$)\n  drop = yes\n' \
      "$kind" "$(cat "$work/classes")" "$(cat "$work/functions")"
  done
}

# Every constant that the installed headers define (scripts/header_constants.awk)
# with its type and value, as a program compiled against them prints them:
# "name type value" a line.
constants() {
  local include=$1
  header_text "$include" | sed 's/EXPORTED/ /g' | awk -f scripts/header_constants.awk | sort -u >"$work/constant_names"
  {
    cat <<'PROGRAM'
#include "zpi50.h"
#include <cstdio>
#include <type_traits>
template <class T> static void show(const char* name, const T& value) {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_enum_v<U>) {
        show(name, static_cast<std::underlying_type_t<U>>(value));
    } else if constexpr (std::is_same_v<U, bool>) {
        std::printf("%s bool %d\n", name, value ? 1 : 0);
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        std::printf("%s i%zu %lld\n", name, sizeof(U) * 8, static_cast<long long>(value));
    } else if constexpr (std::is_integral_v<U>) {
        std::printf("%s u%zu %llu\n", name, sizeof(U) * 8, static_cast<unsigned long long>(value));
    } else if constexpr (std::is_floating_point_v<U>) {
        std::printf("%s f%zu %.17g\n", name, sizeof(U) * 8, static_cast<double>(value));
    } else if constexpr (std::is_convertible_v<const T&, const char*>) {
        std::printf("%s text \"%s\"\n", name, static_cast<const char*>(value));
    } else {
        static_assert(std::is_enum_v<U> || std::is_arithmetic_v<U>, "a constant of a type the list cannot show");
    }
}
int main() {
PROGRAM
    awk '{ printf "    show(\"%s\", %s);\n", $0, $0 }' "$work/constant_names"
    echo '}'
  } >"$work/constants.cpp"
  g++ -std=c++17 -fno-access-control -I"$include" "$work/constants.cpp" -o "$work/constants" 2>"$work/constants.log" || {
    echo "the constants of the installed headers do not compile into the program that lists them:" >&2
    cat "$work/constants.log" >&2
    return 1
  }
  "$work/constants"
}

# Describes the libraries installed under `prefix` into `dir`: their
# binary interface (lib*.abi) and the constants of their headers
# (constants.txt, headed by the SONAME of libzpi50).
describe() {
  local prefix dir=$2 include name
  prefix=$(cd "$1" && pwd)
  include=$prefix/include/zpi50
  mkdir -p "$dir"
  declared "$include"
  for name in "${libraries[@]}"; do
    public_owners "$prefix" "$name"
    suppressions "$prefix" "$name" >"$work/$name.suppressions"
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed --drop-undefined-syms \
      --drop-private-types --headers-dir "$include" --type-id-style hash \
      --suppressions "$work/$name.suppressions" --out-file "$work/$name.abi" "$prefix/lib/lib$name.so"
    # abidw keeps the symbols of thread-locals whatever the suppressions say.
    awk -v internal="$work/internal" '
      BEGIN { while ((getline s < internal) > 0) drop["<elf-symbol name=\x27" s "\x27"] = 1 }
      match($0, /<elf-symbol name=\x27[^\x27]*\x27/) && (substr($0, RSTART, RLENGTH) in drop) { next }
      { print }' "$work/$name.abi" >"$dir/lib$name.abi"
  done
  {
    echo "# The constants of the installed headers: name, type, value. Made by"
    echo "# scripts/abi.sh remake; checked by scripts/abi.sh check."
    echo "soname $(soname "$dir/libzpi50.abi")"
    constants "$include"
  } >"$dir/constants.txt"
}

# Checks that each library installed under `prefix` exports exactly its
# public owners: no symbol of another owner, and every function that the
# installed headers declare exported, and every export of the external
# interface, there. Counts each library in the run's tally.
exports() {
  local prefix=$1 name failed=0 extra missing
  prefix=$(cd "$prefix" && pwd)
  declared "$prefix/include/zpi50"
  : >"$work/all_owners"
  for name in "${libraries[@]}"; do
    public_owners "$prefix" "$name"
    owners "$prefix/lib/lib$name.so" "$work/owners.$name"
    cut -f 2,3 "$work/owners.$name" | tr '\t' ' ' >>"$work/all_owners"
    extra=$(not_public "$name" "$work/owners.$name" | c++filt)
    if [ -n "$extra" ]; then
      echo "lib$name exports $(wc -l <<<"$extra") name(s) that no installed header declares$([ "$name" = zbase50 ] && echo ' and libzpi50 does not call')$([ "$name" = zpi50 ] && echo ' nor cmake/external_interface.txt names'):" >&2
      sed 's/^/  /' <<<"$extra" >&2
      echo "Leave their declarations without the export macro (the tests reach them through zpi50_internal)." >&2
      tally "exports of lib$name" 0 1
      failed=1
    else
      echo "lib$name: $(wc -l <"$work/owners.$name") exports, each of a public class or function"
      tally "exports of lib$name" 1 0
    fi
  done
  missing=$({
    awk '$1 == "function"' "$work/declared"
    external_owners
  } | sort -u | comm -23 - <(sort -u "$work/all_owners"))
  if [ -n "$missing" ]; then
    echo "declared exported by the installed headers or named by cmake/external_interface.txt, but exported by neither library:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    tally "public names exported" 0 1
    failed=1
  else
    tally "public names exported" 1 0
  fi
  return "$failed"
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
  check_constants || failed=1
  return "$failed"
}

# Compares the constants of the installed headers ($work/now/constants.txt)
# with the stored list: a value changed or gone fails unless the SONAME
# changed; an added constant passes (and is told).
check_constants() {
  local was now changed added
  if [ ! -f "$stored/constants.txt" ]; then
    echo "no stored list of the headers' constants: make it with scripts/abi.sh remake" >&2
    tally "constants of the installed headers" 0 1
    return 1
  fi
  was=$(awk '$1 == "soname" { print $2 }' "$stored/constants.txt")
  now=$(awk '$1 == "soname" { print $2 }' "$work/now/constants.txt")
  # Each stored constant that is not there now with the same type and value.
  changed=$(grep -vE '^(#|soname )' "$stored/constants.txt" | sort | comm -23 - <(grep -vE '^(#|soname )' "$work/now/constants.txt" | sort) |
    awk -v now="$work/now/constants.txt" '
      BEGIN { while ((getline line < now) > 0) { split(line, w, " "); value[w[1]] = substr(line, length(w[1]) + 2) } }
      { name = $1; was = substr($0, length(name) + 2)
        print "  " name ": " was " -> " ((name in value) ? value[name] : "gone") }')
  added=$(awk '!/^(#|soname )/ { print $1 }' "$work/now/constants.txt" | sort | comm -13 <(awk '!/^(#|soname )/ { print $1 }' "$stored/constants.txt" | sort) -)
  if [ -n "$changed" ] && [ "$was" = "$now" ]; then
    echo "constants of the installed headers changed under the same SONAME $now:" >&2
    echo "$changed" >&2
    echo "A translator compiled against the stored values misreads them. Keep the values" >&2
    echo "(or raise the SOVERSION for an incompatible change), then remake the list:" >&2
    echo "scripts/abi.sh remake" >&2
    tally "constants of the installed headers" 0 1
    return 1
  fi
  if [ -n "$changed" ]; then
    echo "constants changed with the SONAME ($was -> $now); remake the stored list: scripts/abi.sh remake"
  elif [ -n "$added" ]; then
    echo "constants: the stored values, with $(wc -l <<<"$added") added (remake the list once merged: scripts/abi.sh remake): $(echo $added)"
  else
    echo "constants: the $(grep -cvE '^(#|soname )' "$stored/constants.txt") stored values"
  fi
  tally "constants of the installed headers" 1 0
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
  echo "$stored/constants.txt: $(grep -cvE '^(#|soname )' "$stored/constants.txt") constants"
  ;;
check) check "${2:?usage: scripts/abi.sh check PREFIX}" ;;
exports) exports "${2:?usage: scripts/abi.sh exports PREFIX}" ;;
describe) describe "${2:?usage: scripts/abi.sh describe PREFIX DIR}" "${3:?usage: scripts/abi.sh describe PREFIX DIR}" ;;
*)
  echo "usage: scripts/abi.sh remake | check PREFIX | exports PREFIX | describe PREFIX DIR" >&2
  exit 2
  ;;
esac
