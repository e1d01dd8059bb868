#!/usr/bin/env bash
# The binary interface of the shipped libraries, described and checked
# against the stored description (cmake/abi/libzbase50.abi,
# cmake/abi/libzpi50.abi, cmake/abi/types.abi for the layouts of the types
# of the installed headers, and cmake/abi/constants.txt for their
# constants, alignments, typedefs and bit-fields).
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
#                                    PREFIX exports exactly its public set,
#                                    and the virtual tables, VTTs and type
#                                    information of its public classes that
#                                    the stored description lists
#   scripts/abi.sh relocations PREFIX   checks that neither library installed
#                                    under PREFIX reaches its own functions,
#                                    or data that is not public, through the
#                                    dynamic linker
#   scripts/abi.sh imports PREFIX    checks that what libzpi50 installed under
#                                    PREFIX takes from libzbase50 bears the
#                                    base library's own name, zbase_internal,
#                                    or belongs to a class that the installed
#                                    headers define
#   scripts/abi.sh describe PREFIX DIR   only describes, into DIR
#
# The public set of a library is decided symbol by symbol: a symbol is
# public when the installed headers declare it: a function or variable
# that they declare (its mangled name as clang's syntax tree of zpi50.h
# gives it), or a member, constructor, destructor, virtual table, VTT or
# type information of a class that they define (the class that owns the
# symbol, scripts/symbol_owner.awk); and, of zbase50, each symbol that
# libzpi50 takes from it. The external interface (cmake/external_interface.txt)
# is declared by the installed headers (the install stage checks that).
# Anything else, an internal class's virtual table, type information or
# members above all, is not exported: a program's own class or function
# of the same name would take it over.
#
# A description is abidw's (abigail-tools) of a build with debug information
# (without it abidw sees symbols only, not class layouts or the types of a
# function, and the check refuses to run), limited to the public set and
# the types it uses, as the installed headers define them; the layout of
# every type that the installed headers define, reachable from an exported
# symbol or not (the record structs that reach translators through void*
# arrays among them): abidw's description of a program made of zpi50.h
# alone, with debug information for every type it declares (types.abi);
# and the list of the constants that the installed headers define (the
# macros whose value is one too), with their types and values, the
# alignment of each class, struct and union they define and the type that
# each of their typedefs names (types.abi keeps no class's alignment, and
# the standard library's typedefs stay mere names there), as a program
# compiled against them prints them, and the width of each bit-field.
#
# The check fails on any change to what the stored description holds: a
# symbol gone, a type whose size, alignment, members (their offsets and
# types, in a union too), bases or virtual slots changed, a typedef that
# names another type, a function whose signature changed, a constant whose
# value changed or that is gone. Added symbols, types and constants pass
# (they are told, as a reminder to remake the description once merged),
# and so does a member renamed (no layout changes), in a union too, and
# the same build installed under any prefix. An incompatible change passes
# only with a new SOVERSION, which the libraries' SONAME carries, so that
# a translator built against the earlier libraries does not load them.
# Code that the headers compile into a translator is not judged: the
# bodies of inline and constexpr functions and of templates, default
# arguments, members' default initializers, a template's constants, a
# variable initialised in parentheses or typed by decltype (the list does
# not read them), and the macros whose value is no constant that the list
# shows (function-like ones; an attribute, a type, a code fragment, a
# pointer other than a text, told by name).
#
# The description reads the headers as g++ does in C++17. The check then
# reads them in each other dialect and compiler that the README allows
# translators (C++17, C++20 and C++2b, each with g++ and with clang,
# those that the compilers here know): the program that lists the
# constants, compiled by each, must print the same constants, alignments,
# typedefs and layouts (each class's size, each data member's offset and
# type), or the check fails, whatever the SONAME: a translator built so and
# the libraries would not agree on them. Not judged, and named: what one
# of them alone declares (under a branch on the dialect or the compiler
# that the others do not take: a constant, a class, a function, a virtual
# operation), where it reads the headers otherwise; the branches on a
# macro that neither the dialect nor the compiler sets (a translator's own
# switch, its platform's, a build's), which each reading takes as not
# defined; a dialect that a compiler here does not know; a branch that
# none of the readings takes (a later dialect's, another compiler's or
# version's, as #if __cplusplus > 202302L), named by its directive.
#
# The builds it judges: those of g++ with debug information and without
# link-time optimisation, as the install stage makes them (the stored
# description is of such a build). remake, check and describe refuse,
# saying why, an install without debug information, or without the types
# in it (-g1; -gsplit-dwarf, whose .dwo files abidw does not read): abidw
# would see symbols only; one built by another compiler (clang describes the same
# interface otherwise in its debug information: artificial parameters,
# implicit members) and one built with -flto (its link rewrites the debug
# information), as their debug information names the compiler
# (DW_AT_producer), as does the section .comment; exports refuses another
# compiler's build too (it exports another share of the virtual tables
# and type information of the classes without a key function) and judges
# an LTO build by its symbols; relocations judges any build.
#
# It reads names (of functions, symbols, classes, macros) with grep, sed,
# awk, sort and comm, all under LC_ALL=C: under a locale that orders
# letters otherwise (tr_TR.UTF-8) "[A-Za-z]" leaves out "i", and sort
# and comm would order names by the locale. It runs no test program, only
# its own, so nothing here needs the user's locale.
# Sourced (by the tests), it stops once its functions are defined.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/common.sh

# (The tests point these at a description and a list of their own.)
stored=${ZPI_ABI_STORED:-cmake/abi}
external=${ZPI_ABI_EXTERNAL:-cmake/external_interface.txt}
libraries=(zbase50 zpi50)

# The installed headers' own text as zpi50.h brings it in, macros expanded,
# the export macros written EXPORTED; without the directives left (#pragma,
# as _Pragma too), which would run on into the declaration after them.
header_text() {
  header_lines "$1" | sed '/^[[:space:]]*#/d' | tr '\n' ' ' | sed 's/__attribute__((visibility("default")))/EXPORTED/g'
}

# The awk function marker_file(LINE): the file that the preprocessor's line
# marker LINE (# LINE "FILE" FLAGS; FILE may hold blanks) names, as the
# file system has it. A marker writes a backslash, a quote and a line break
# escaped (\\, \", \n), and clang also a tab (\t) and each byte outside
# printable ASCII in octal (\303\274 for "ü"), where g++ writes the bytes
# as they are: read as written, a folder whose name holds one would not be
# the same to both compilers. (Bytes: awk runs under LC_ALL=C here.)
marker_file='
  function marker_file(line,   f, out, i, c, n, k) {
    f = line; sub(/^# [0-9]+ "/, "", f); sub(/"[^"]*$/, "", f)
    for (i = 1; i <= length(f); i++) {
      c = substr(f, i, 1)
      if (c == "\\" && i < length(f)) {
        c = substr(f, ++i, 1)
        if (c ~ /[0-7]/) {
          n = 0
          for (k = 0; k < 3 && c ~ /[0-7]/; k++) { n = n * 8 + c; c = substr(f, ++i, 1) }
          i--; c = sprintf("%c", n)
        } else if (c == "n") c = "\n"
        else if (c == "t") c = "\t"
      }
      out = out c
    }
    return out
  }'

# The lines of the installed headers in `include` as the preprocessor
# gives them, given the further options of g++ (-dD keeps the macros'
# definitions).
header_lines() {
  local include=$1
  shift
  g++ -std=c++17 -E "$@" -I"$include" -x c++ "$include/zpi50.h" 2>/dev/null |
    ZPI_HEADERS=$include/ awk "$marker_file"'
      # (The folder from the environment: awk -v would read escapes in it.)
      BEGIN { dir = ENVIRON["ZPI_HEADERS"] }
      /^# [0-9]+ "/ { ours = index(marker_file($0), dir) == 1; next }
      ours'
}

# The functions that a text of the installed headers (header_text) on the
# standard input declares exported: "function NAME" a line, sorted.
exported_functions() {
  grep -oE 'EXPORTED[^;{}()]*[^A-Za-z0-9_](~?[A-Za-z_][A-Za-z0-9_]*|operator[^[:space:](]+)[[:space:]]*\(' |
    sed -E 's/[[:space:]]*\($//; s/.*[^A-Za-z0-9_]((operator[^[:space:](]+)|[A-Za-z_][A-Za-z0-9_]*)$/function \1/' |
    sort -u
}

# What the installed headers in `include` declare: into $work/declared,
# "function NAME" for each function they declare exported; into
# $work/declared_symbols, the mangled name of every function and variable
# they declare, as clang's syntax tree of zpi50.h gives it (the standard
# library's among them, which neither library exports; a constructor or
# destructor in one variant, the others go with their class); into
# $work/needed_symbols, those of them that a library must define (not
# inline, not defined in the headers; scripts/abi_declared.jq), and into
# $work/bitfields each bit-field of their types with its width
# ("Class::member bits N"); into $work/types.abi the description of the
# types they define (types()) and into $work/defined_classes the qualified
# name of each class, struct and union they define, without template
# arguments.
declared() {
  local include=$1
  header_text "$include" | exported_functions >"$work/declared"
  echo '#include "zpi50.h"' >"$work/declared.cpp"
  if ! clang++ -std=c++17 -fsyntax-only -Xclang -ast-dump=json -I"$include" "$work/declared.cpp" \
      2>"$work/declared.log" >"$work/declared.json"; then
    echo "clang cannot read the installed headers:" >&2
    cat "$work/declared.log" >&2
    return 1
  fi
  sed -n 's/^ *"mangledName": "\([^"]*\)",\{0,1\}$/\1/p' "$work/declared.json" | sort -u >"$work/declared_symbols"
  jq -r --arg dir "$include/" -f scripts/abi_declared.jq "$work/declared.json" >"$work/declared_items"
  awk -F '\t' '$1 == "needed" { print $2 }' "$work/declared_items" | sort -u >"$work/needed_symbols"
  awk -F '\t' '$1 == "bitfield" { print $2 " bits " $3 }' "$work/declared_items" | sort -u >"$work/bitfields"
  rm -f "$work/declared.json"
  types "$include" "$work/types.abi"
  awk -f scripts/abi_classes.awk "$work/types.abi" | sort -u >"$work/defined_classes"
}

# The layout of every type that the installed headers in `include` define,
# as g++ lays it out, into `out`: abidw's description of a program made of
# zpi50.h alone, compiled with debug information for every type it
# declares, used or not (-fno-eliminate-unused-debug-types), limited to the
# types that the installed headers define.
types() {
  local include=$1 out=$2
  printf '#include "zpi50.h"\n// The symbol that abidw describes the program by.\nint zpi50_types() { return 0; }\n' \
    >"$work/types.cpp"
  # (Compiled in its folder, so that the description names no path, with
  # the headers reached through the link `headers` there: the suppression
  # below names them by that path, whatever characters the prefix holds.)
  ln -sfn "$include" "$work/headers"
  if ! (cd "$work" && g++ -std=c++17 -g -fno-eliminate-unused-debug-types -femit-class-debug-always \
      -shared -fPIC -I headers types.cpp -o types.so) 2>"$work/types.log"; then
    echo "the installed headers do not compile into the program that describes their types:" >&2
    cat "$work/types.log" >&2
    return 1
  fi
  # The types of other headers (the standard library's) stay as names.
  printf '[suppress_type]\n  source_location_not_regexp = ^headers/\n  drop = yes\n' >"$work/types.suppressions"
  (cd "$work" && abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed --load-all-types \
    --drop-private-types --headers-dir headers --suppressions types.suppressions \
    --type-id-style hash --out-file types.described types.so)
  # Every named type is marked as one that no exported symbol reaches,
  # which abidiff --non-reachable-types compares whatever reaches it (it
  # would skip a type that abidw found reachable from a member function
  # that the program does not define). An anonymous one is compared within
  # the type that holds it.
  sed -E "/<(class-decl|union-decl|enum-decl|typedef-decl) /{/is-non-reachable=|is-anonymous='yes'/!s/<(class-decl|union-decl|enum-decl|typedef-decl) /<\1 is-non-reachable='yes' /}" \
    "$work/types.described" >"$out"
}

# The dynamic symbols of `lib` that nm lists with the further options
# given, "TYPE NAME" a line: without the version that nm appends to a name
# (NAME@VERSION, NAME@@VERSION), nor the versions' own symbols (type A).
dynamic_symbols() {
  local lib=$1
  shift
  nm -D "$@" "$lib" | awk '$(NF - 1) != "A" { sub(/@.*/, "", $NF); print $(NF - 1), $NF }'
}

# Each symbol that `lib` exports, with its owner (scripts/symbol_owner.awk),
# into `file`: "symbol<TAB>kind<TAB>owner".
owners() {
  dynamic_symbols "$1" --defined-only | awk '{ print $2 }' | sort -u >"$work/symbols"
  c++filt <"$work/symbols" | paste "$work/symbols" - | awk -f scripts/symbol_owner.awk >"$2"
}

# The owners that cmake/external_interface.txt names, "kind name" a line.
external_owners() {
  awk '!/^(#|$)/ { if (sub(/::\*$/, "")) print "class " $0; else print "function " $0 }' "$external"
}

# The lines of an owners file (owners()) whose symbol the installed headers
# declare ($work/declared_symbols, $work/defined_classes), and, with
# `taken`, those whose symbol is in that file too; the others with -v.
declared_owners() {
  local invert=0 taken
  if [ "$1" = -v ]; then
    invert=1
    shift
  fi
  taken=${2:-/dev/null}
  awk -F '\t' -v symbols="$awk_work/declared_symbols" -v classes="$awk_work/defined_classes" \
    -v taken="${taken//\\/\\\\}" -v invert="$invert" '
    BEGIN {
      while ((getline s < symbols) > 0) declared[s] = 1
      while ((getline c < classes) > 0) defined[c] = 1
      while ((getline s < taken) > 0) declared[s] = 1
    }
    { public = ($1 in declared) || ($2 == "class" && ($3 in defined)) }
    public != invert' "$1"
}

# The public symbols of lib`name` installed under `prefix`, into
# $work/public.`name` (an owners file): those that the installed headers
# declare, and, of zbase50, those that libzpi50 takes from it (a
# constructor or destructor with its other variants, complete, base object
# and deleting, which one declaration exports together). The others, which
# it should not export, into $work/internal.`name`.
public_symbols() {
  local prefix=$1 name=$2 taken=/dev/null
  owners "$prefix/lib/lib$name.so" "$work/owners.$name"
  if [ "$name" = zbase50 ]; then
    taken=$work/taken
    dynamic_symbols "$prefix/lib/libzpi50.so" --undefined-only | awk '{ print $2 }' | c++filt | sort -u >"$work/taken_names"
    c++filt <"$work/symbols" | paste "$work/symbols" - |
      awk -F '\t' -v names="$awk_work/taken_names" 'BEGIN { while ((getline n < names) > 0) taken[n] = 1 }
        $2 in taken { print $1 }' >"$taken"
  fi
  declared_owners "$work/owners.$name" "$taken" >"$work/public.$name"
  declared_owners -v "$work/owners.$name" "$taken" | cut -f 1 >"$work/internal.$name"
}

# What a description leaves out of lib`name`, as abidw's suppressions: the
# exported symbols that are not public (none, once the library exports
# only its interface), and the functions and variables of the debug
# information that no public owner holds: members of other classes, of the
# standard library, and of class templates, which are inline. A public
# class keeps its operations without a symbol too (pure ones): their slots
# are part of the interface.
suppressions() {
  local name=$1 kind
  # The classes kept: those that own a public symbol (class templates own
  # none); and the functions.
  awk -F '\t' '$2 == "class" { print $3 }' "$work/public.$name" | sort -u | paste -sd '|' >"$work/classes"
  awk -F '\t' '$2 == "function" { gsub(/[][\\.*+?^$(){}|]/, "\\\\&", $3); print $3 }' "$work/public.$name" |
    sort -u | paste -sd '|' >"$work/functions"
  for kind in function variable; do
    printf '[suppress_%s]\n  symbol_name_regexp = ^(%s)$\n  drop = yes\n' \
      "$kind" "$(sed 's/[.$]/\\&/g' "$work/internal.$name" | paste -sd '|')"
    printf '[suppress_%s]\n  name_not_regexp = ^((%s)(::|<)|(%s)$)\n  drop = yes\n' \
      "$kind" "$(cat "$work/classes")" "$(cat "$work/functions")"
  done
}

# Every constant that the installed headers define (scripts/header_constants.awk;
# each element of an array) and each macro that is one (macro_constants)
# with its type and value, as a program compiled against them prints
# them: "name type value" a line; then the alignment of each class, struct
# and union that they define ("name align N") and the type that each
# typedef and alias names ("name typedef TYPE", as g++ spells it once the
# typedefs are resolved, and "name align N" when TYPE is a class), which
# types.abi does not hold ($work/declared_items, declared()); and last the
# layout of each class, struct and union they define ("name size N") and
# of each of its data members that a pointer to a member can name ("name
# offset N TYPE"), which check_views compares between dialects and
# compilers (types.abi holds the layouts that the check compares with the
# stored ones). The program, $work/constants.cpp, is g++'s in C++17.
constants() {
  local include=$1
  show_program >"$work/show.h"
  {
    header_text "$include" | sed 's/EXPORTED/ /g' | awk -f scripts/header_constants.awk | sed 's/$/\tconstant/'
    macro_constants "$include" | sed 's/$/\tmacro/'
  } | LC_ALL=C sort -t "$(printf '\t')" -k 1,1 -u >"$work/constant_names"
  {
    echo '#include "show.h"'
    echo 'int main() {'
    awk -F '\t' '$2 == "constant" { printf "    show(\"%s\", %s);\n", $1, $1 }
      $2 == "macro" { printf "    { constexpr auto zpi_macro_value = %s; show(\"%s\", zpi_macro_value); }\n", $1, $1 }' "$work/constant_names"
    awk -F '\t' '$1 == "record" { printf "    std::printf(\"%%s align %%zu\\n\", \"%s\", alignof(%s));\n", $2, $2 }
      $1 == "typedef" { printf "    show_typedef<%s>(\"%s\");\n", $2, $2 }' "$work/declared_items"
    # The layouts, which check_views compares between dialects and compilers.
    awk -F '\t' '$1 == "record" { printf "    std::printf(\"%%s size %%zu\\n\", \"%s\", sizeof(%s));\n", $2, $2 }
      $1 == "field" { printf "    show_member(\"%s\", &%s);\n", $2, $2 }' "$work/declared_items"
    echo '}'
  } >"$work/constants.cpp"
  g++ -std=c++17 -fno-access-control -Wno-builtin-macro-redefined -I"$include" "$work/constants.cpp" -o "$work/constants" 2>"$work/constants.log" || {
    echo "the constants of the installed headers do not compile into the program that lists them:" >&2
    cat "$work/constants.log" >&2
    return 1
  }
  "$work/constants"
}

# The object-like macros that the installed headers in `include` define,
# still defined at their end, whose value is a constant: one that the
# program listing the constants compiles as a constant (constexpr auto)
# of a type that it shows (a number, bool, enumerator or text): a cast,
# an enumerator, an expression of them. The others (an attribute, a type,
# a code fragment, no value; a constant of a type that the list does not
# show: a pointer other than a text, a class; a value of the place or
# time of its use) into $work/macros_left_out. The compiler
# decides, not the macros' text: each is tried in a function of its own,
# on a line of its own, all in one program; g++ places an error within a
# macro's value on the line that uses it (-ftrack-macro-expansion=0), and
# the macros of the lines it names are left out until the others compile
# together. A value whose brackets do not pair, or with a ";" outside
# them, is left out untried: the lines after it would not be read as
# written.
macro_constants() {
  local include=$1 first
  header_lines "$include" -dD | awk '
    /^#undef / { delete macro[$2] }
    /^#define [A-Za-z_][A-Za-z0-9_]*( |$)/ {
      body = $0
      sub(/^#define [^ ]* ?/, "", body)
      # Whether the brackets pair, outside texts and characters.
      depth = 0
      for (i = 1; i <= length(body) && depth >= 0; i++) {
        c = substr(body, i, 1)
        if (c == "\"" || c == "\x27") {
          for (i++; i <= length(body) && substr(body, i, 1) != c; i++) if (substr(body, i, 1) == "\\") i++
        } else if (c ~ /[([{]/) depth++
        else if (c ~ /[)\]}]/) depth--
        else if (c == ";" && depth == 0) depth = -1
      }
      macro[$2] = depth == 0 ? "try" : "fragment"
    }
    END { for (name in macro) print name "\t" macro[name] }' | LC_ALL=C sort >"$work/macros"
  awk -F '\t' '$2 == "fragment" { print $1 }' "$work/macros" >"$work/macros_left_out"
  awk -F '\t' '$2 == "try" { print $1 }' "$work/macros" >"$work/macros.try"
  first=$(($(wc -l <"$work/show.h") + 1))
  while [ -s "$work/macros.try" ]; do
    awk '{ printf "static void zpi_macro_%d() { constexpr auto zpi_macro_value = %s; show(\"%s\", zpi_macro_value); }\n", NR, $0, $0 }' \
      "$work/macros.try" | cat "$work/show.h" - >"$work/macros.cpp"
    if (cd "$work" && g++ -std=c++17 -fsyntax-only -fno-access-control -w -ftrack-macro-expansion=0 \
        -fno-diagnostics-show-caret -I"$include" macros.cpp) 2>"$work/macros.log"; then
      cat "$work/macros.try"
      break
    fi
    # The lines that the errors name; none: the program fails whatever
    # the macros (the list's compilation says why), and none is listed.
    grep -oE '^macros\.cpp:[0-9]+' "$work/macros.log" | cut -d : -f 2 | sort -u |
      awk -v first="$first" -v try="$awk_work/macros.try" '
        BEGIN { while ((getline m < try) > 0) macro[++n] = m }
        { i = $1 - first + 1; if (i >= 1 && i <= n) { failed[i] = 1; named++ } }
        END { for (i = 1; i <= n; i++) { state = !named || (i in failed) ? "out" : "try"; print state "\t" macro[i] } }' >"$work/macros.next"
    awk -F '\t' '$1 == "out" { print $2 }' "$work/macros.next" >>"$work/macros_left_out"
    awk -F '\t' '$1 == "try" { print $2 }' "$work/macros.next" >"$work/macros.try"
  done
  LC_ALL=C sort -o "$work/macros_left_out" "$work/macros_left_out"
}

# The start of the program that lists the constants: the headers, and
# show (a constant's type and value) and show_typedef (the type that a
# typedef names, and its alignment).
show_program() {
  cat <<'PROGRAM'
#include "zpi50.h"
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <string>
#include <type_traits>
#include <typeinfo>
// A value of the place or time of its use (the program's file and line,
// the time it was compiled) is none of the headers' constants: a macro
// whose value holds one does not compile here.
#undef __DATE__
#undef __TIME__
#undef __TIMESTAMP__
#undef __FILE__
#undef __BASE_FILE__
#undef __LINE__
#undef __COUNTER__
#undef __INCLUDE_LEVEL__
template <class T> struct zpi_tag {};
// The type T as the demangler spells it.
template <class T> static std::string type_name() {
    int status = 0;
    char* text = abi::__cxa_demangle(typeid(zpi_tag<T>).name(), nullptr, nullptr, &status);
    std::string type = text ? text : "";
    std::free(text);
    // "zpi_tag<TYPE>": TYPE.
    return type.substr(8, type.size() - 9);
}
template <class T> static void show_typedef(const char* name) {
    std::printf("%s typedef %s\n", name, type_name<T>().c_str());
    // A class known by a typedef only (typedef struct { ... } Name; an
    // instance of a template) has no alignment line of its own.
    if constexpr (std::is_class_v<T> || std::is_union_v<T>)
        std::printf("%s align %zu\n", name, alignof(T));
}
// Where a data member lies in its class, and its type. (A pointer to a
// data member holds the member's offset: the Itanium C++ ABI, which g++
// and clang follow.)
template <class C, class M> static void show_member(const char* name, M C::*member) {
    std::ptrdiff_t offset = 0;
    static_assert(sizeof member == sizeof offset, "a pointer to a data member is not its offset");
    std::memcpy(&offset, &member, sizeof offset);
    std::printf("%s offset %td %s\n", name, offset, type_name<M>().c_str());
}
// The characters of a text: u8"..." (and u8'.') is of char8_t from C++20
// on, of char before, and reads the same.
#ifdef __cpp_char8_t
template <class E> constexpr bool zpi_text = std::is_same_v<E, char> || std::is_same_v<E, char8_t>;
#else
template <class E> constexpr bool zpi_text = std::is_same_v<E, char>;
#endif
template <class T> static void show(const char* name, const T& value) {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_enum_v<U>) {
        show(name, static_cast<std::underlying_type_t<U>>(value));
#ifdef __cpp_char8_t
    } else if constexpr (std::is_same_v<U, char8_t>) {
        show(name, static_cast<char>(value));
#endif
    } else if constexpr (std::is_same_v<U, bool>) {
        std::printf("%s bool %d\n", name, value ? 1 : 0);
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        std::printf("%s i%zu %lld\n", name, sizeof(U) * 8, static_cast<long long>(value));
    } else if constexpr (std::is_integral_v<U>) {
        std::printf("%s u%zu %llu\n", name, sizeof(U) * 8, static_cast<unsigned long long>(value));
    } else if constexpr (std::is_floating_point_v<U> && sizeof(U) > sizeof(double)) {
        // (As many digits as tell every long double apart.)
        std::printf("%s f%zu %.21Lg\n", name, sizeof(U) * 8, static_cast<long double>(value));
    } else if constexpr (std::is_floating_point_v<U>) {
        std::printf("%s f%zu %.17g\n", name, sizeof(U) * 8, static_cast<double>(value));
    } else if constexpr (std::is_array_v<U>) {
        // A text that fills its array, its nul last, as its text; any other
        // array (a text with a nul within it or room after it among them)
        // element by element, as NAME[I].
        using E = std::remove_cv_t<std::remove_extent_t<U>>;
        if constexpr (zpi_text<E>) {
            if (std::memchr(value, 0, std::extent_v<U>) == value + std::extent_v<U> - 1) {
                std::printf("%s text \"%s\"\n", name, reinterpret_cast<const char*>(&value[0]));
                return;
            }
        }
        for (std::size_t i = 0; i < std::extent_v<U>; ++i) {
            if constexpr (zpi_text<E>)
                show((std::string(name) + "[" + std::to_string(i) + "]").c_str(), static_cast<char>(value[i]));
            else
                show((std::string(name) + "[" + std::to_string(i) + "]").c_str(), value[i]);
        }
    } else if constexpr (std::is_convertible_v<const T&, const char*> && !std::is_null_pointer_v<U>) {
        std::printf("%s text \"%s\"\n", name, static_cast<const char*>(value));
#ifdef __cpp_char8_t
    } else if constexpr (std::is_convertible_v<const T&, const char8_t*> && !std::is_null_pointer_v<U>) {
        std::printf("%s text \"%s\"\n", name, reinterpret_cast<const char*>(static_cast<const char8_t*>(value)));
#endif
    } else {
        static_assert(std::is_enum_v<U> || std::is_arithmetic_v<U>, "a constant of a type the list cannot show");
    }
}
PROGRAM
}

# Describes the libraries installed under `prefix` into `dir`: their
# binary interface (lib*.abi), the layouts of the types of their headers
# (types.abi) and the constants of their headers (constants.txt, headed by
# the SONAME of libzpi50).
describe() {
  local prefix dir=$2 include name
  prefix=$(cd "$1" && pwd)
  include=$prefix/include/zpi50
  mkdir -p "$dir"
  declared "$include"
  for name in "${libraries[@]}"; do
    public_symbols "$prefix" "$name"
    suppressions "$name" >"$work/$name.suppressions"
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed --drop-undefined-syms \
      --drop-private-types --headers-dir "$include" --type-id-style hash \
      --suppressions "$work/$name.suppressions" --out-file "$work/$name.abi" "$prefix/lib/lib$name.so"
    # abidw keeps the symbols of thread-locals whatever the suppressions say.
    awk -v internal="$awk_work/internal.$name" '
      BEGIN { while ((getline s < internal) > 0) drop["<elf-symbol name=\x27" s "\x27"] = 1 }
      match($0, /<elf-symbol name=\x27[^\x27]*\x27/) && (substr($0, RSTART, RLENGTH) in drop) { next }
      { print }' "$work/$name.abi" >"$dir/lib$name.abi"
  done
  cp "$work/types.abi" "$dir/types.abi"
  # (The layouts that it lists too stay out: types.abi holds them.)
  constants "$include" >"$work/listed"
  {
    echo "# The constants of the installed headers: name, type, value; and the"
    echo "# alignment of each of their classes (type align N), the type that each"
    echo "# typedef names (name typedef TYPE) and the width of each bit-field of"
    echo "# their types (type bits N), which the layouts of types.abi do not hold."
    echo "# Made by scripts/abi.sh remake; checked by scripts/abi.sh check."
    echo "soname $(soname "$dir/libzpi50.abi")"
    awk '$2 != "size" && $2 != "offset"' "$work/listed"
    cat "$work/bitfields"
  } >"$dir/constants.txt"
}

# Checks that each library installed under `prefix` exports exactly its
# public set, symbol by symbol (public_symbols), and that every function
# that the installed headers declare exported, and every export of the
# external interface, is exported. Counts each library in the run's tally.
exports() {
  local prefix=$1 name failed=0 missing
  prefix=$(cd "$prefix" && pwd)
  if ! refuse_unjudged "$prefix" lto; then
    tally "exports of a build that the check judges (g++)" 0 1
    return 1
  fi
  declared "$prefix/include/zpi50"
  for name in "${libraries[@]}"; do
    public_symbols "$prefix" "$name"
    if [ -s "$work/internal.$name" ]; then
      echo "lib$name exports $(wc -l <"$work/internal.$name") symbol(s) that the installed headers do not declare$([ "$name" = zbase50 ] && echo ' and libzpi50 does not take'):" >&2
      c++filt <"$work/internal.$name" | sed 's/^/  /' >&2
      echo "Leave their declarations without the export macro (the tests reach them through" >&2
      echo "zpi50_internal); of an internal class, mark only the members that zpi50 calls." >&2
      tally "exports of lib$name" 0 1
      failed=1
    else
      echo "lib$name: $(wc -l <"$work/owners.$name") exports, each declared by the installed headers$([ "$name" = zbase50 ] && echo ' or taken by libzpi50')"
      tally "exports of lib$name" 1 0
    fi
  done
  missing=$({
    awk '$1 == "function"' "$work/declared"
    external_owners
  } | sort -u | comm -23 - <(cut -f 2,3 "$work"/owners.* | tr '\t' ' ' | sort -u))
  if [ -n "$missing" ]; then
    echo "declared exported by the installed headers or named by cmake/external_interface.txt, but exported by neither library:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    tally "public names exported" 0 1
    failed=1
  else
    tally "public names exported" 1 0
  fi
  # Symbol by symbol: every function and variable that the installed
  # headers declare and do not define (an overload, a member, a constructor
  # among them), which a translator that calls it links against.
  missing=$(cut -f 1 "$work"/owners.* | sort -u | comm -23 "$work/needed_symbols" - | c++filt)
  if [ -n "$missing" ]; then
    echo "declared by the installed headers and defined there by none, but exported by neither library:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    tally "public symbols exported" 0 1
    failed=1
  else
    echo "each of the $(wc -l <"$work/needed_symbols") functions and variables that the installed headers declare and do not define is exported"
    tally "public symbols exported" 1 0
  fi
  # The virtual tables, VTTs and type information of the classes that the
  # installed headers define, as many as the stored description lists: a
  # translator that derives from such a class, or throws, catches or casts
  # it, binds to them (and links against them, of a class with a key
  # function). A build with link-time optimisation keeps some of them local.
  for name in "${libraries[@]}"; do
    if [ -f "$stored/lib$name.abi" ]; then
      sed -n "s/.*<elf-symbol name='\(_ZT[VTIS][^']*\)'.*/\1/p" "$stored/lib$name.abi"
    fi
  done | sort -u >"$work/listed"
  c++filt <"$work/listed" | paste "$work/listed" - | awk -f scripts/symbol_owner.awk |
    awk -F '\t' -v classes="$awk_work/defined_classes" 'BEGIN { while ((getline c < classes) > 0) defined[c] = 1 }
      $2 == "class" && ($3 in defined) { print $1 }' | sort -u >"$work/class_data"
  missing=$(cut -f 1 "$work"/owners.* | sort -u | comm -23 "$work/class_data" - | c++filt)
  if [ -n "$missing" ]; then
    echo "$(wc -l <<<"$missing") virtual table(s), VTT(s) or type information of classes that the installed headers define, listed by the stored description ($stored), but exported by neither library:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    echo "A translator that derives from such a class, or throws, catches or casts it, binds to them" >&2
    echo "(and links against them, of a class with a key function). A build with link-time" >&2
    echo "optimisation (-flto) keeps some of them local: build without it." >&2
    tally "public classes' virtual tables and type information exported" 0 1
    failed=1
  else
    echo "the $(wc -l <"$work/class_data") virtual tables, VTTs and type information of public classes that the stored description lists are all exported"
    tally "public classes' virtual tables and type information exported" 1 0
  fi
  return "$failed"
}

# Checks that neither library installed under `prefix` reaches through the
# dynamic linker what another module could take over: no dynamic
# relocation of a library names one of its own functions (they bind to its
# own definitions, -Bsymbolic-functions), nor data of either library (a
# virtual table, VTT, type information or variable) that the installed
# headers do not declare (an internal class's data is hidden, so every
# reference to it binds inside its library). The data of the public
# classes stays shared: a translator and the libraries reach one object.
# Counts each library in the run's tally.
relocations() {
  local prefix=$1 name lib failed=0 calls reached
  prefix=$(cd "$prefix" && pwd)
  declared "$prefix/include/zpi50"
  for name in "${libraries[@]}"; do
    dynamic_symbols "$prefix/lib/lib$name.so" --defined-only | awk '$1 !~ /^[TWi]$/ { print $2 }'
  done | sort -u >"$work/data"
  for name in "${libraries[@]}"; do
    lib=$prefix/lib/lib$name.so
    readelf -rW "$lib" | awk 'NF >= 5 && $1 ~ /^[0-9a-f]+$/ { sub(/@.*/, "", $5); print $5 }' | sort -u >"$work/named"
    calls=$(comm -12 <(dynamic_symbols "$lib" --defined-only | awk '$1 ~ /^[TWi]$/ { print $2 }' | sort -u) "$work/named" | c++filt)
    comm -12 "$work/data" "$work/named" >"$work/named_data"
    c++filt <"$work/named_data" | paste "$work/named_data" - | awk -f scripts/symbol_owner.awk >"$work/named_data.owners"
    reached=$(declared_owners -v "$work/named_data.owners" | cut -f 1 | c++filt)
    if [ -n "$calls" ] || [ -n "$reached" ]; then
      if [ -n "$calls" ]; then
        echo "lib$name calls $(wc -l <<<"$calls") of its own functions through the dynamic linker:" >&2
        sed 's/^/  /' <<<"$calls" | head -n 40 >&2
      fi
      if [ -n "$reached" ]; then
        echo "lib$name reaches $(wc -l <<<"$reached") item(s) of data that the installed headers do not declare through the dynamic linker:" >&2
        sed 's/^/  /' <<<"$reached" | head -n 40 >&2
        echo "Hide the internal class (no export macro on the class, only on the members that" >&2
        echo "zpi50 calls); a class that zpi50 derives from keeps its virtual operations inline." >&2
      fi
      tally "own functions and internal data bound inside lib$name" 0 1
      failed=1
    else
      echo "lib$name: $(wc -l <"$work/named") names reached through the dynamic linker, none of its own functions, no internal data"
      tally "own functions and internal data bound inside lib$name" 1 0
    fi
  done
  return "$failed"
}

# Says that libzpi50 takes the symbols `names` (one a line), which are
# `what`, and what to do (the further arguments, a line each); false then,
# true when there are none.
refused_imports() {
  local names=$1 what=$2
  shift 2
  [ -n "$names" ] || return 0
  echo "libzpi50 takes $(wc -l <<<"$names") $what:" >&2
  sed 's/^/  /' <<<"$names" >&2
  printf '%s\n' "$@" >&2
  return 1
}

# Checks that every symbol that libzpi50 installed under `prefix` takes
# from libzbase50 bears the base library's own name, zbase_internal (its
# namespace, or the ABI tag of a member of btkString, BNFSConnection or
# bnfsError; a public function's own name is in zbase_internal::own), or is
# a member, virtual table or type information of a class that the
# installed headers define: a program's own function or object of any
# other name, a public one included, then never stands in for one of them
# (the linker exports a program's definition of a name that a library it
# links references). A free function or variable that the installed
# headers declare is taken by its own name only (a program may define a
# function of that name with another meaning; it cannot define a member of
# the installed headers' classes without defining them). Counts in the
# run's tally.
imports() {
  local prefix=$1 taken offenders public failed=0
  prefix=$(cd "$prefix" && pwd)
  declared "$prefix/include/zpi50"
  dynamic_symbols "$prefix/lib/libzbase50.so" --defined-only | awk '{ print $2 }' | sort -u >"$work/base_symbols"
  dynamic_symbols "$prefix/lib/libzpi50.so" --undefined-only | awk '{ print $2 }' | sort -u |
    comm -12 "$work/base_symbols" - >"$work/imports"
  c++filt <"$work/imports" | paste "$work/imports" - | awk -f scripts/symbol_owner.awk >"$work/imports.owners"
  declared_owners -v "$work/imports.owners" | cut -f 1 >"$work/imports.internal"
  taken=$(wc -l <"$work/imports")
  offenders=$(c++filt <"$work/imports.internal" | grep -v 'zbase_internal' || true)
  refused_imports "$offenders" \
    "symbol(s) of libzbase50 that the installed headers do not declare, under names that a program may define too" \
    "Declare each in the inline namespace zbase_internal (a member of btkString," \
    "BNFSConnection or bnfsError: ZBASE_INTERNAL, base/zbase_export.h)." || failed=1
  # (symbol_owner.awk reads a namespace as a class: a symbol of one that
  # the installed headers define no class of is a free function or
  # variable too.)
  public=$(declared_owners "$work/imports.owners" |
    awk -F '\t' -v classes="$work/defined_classes" '
      BEGIN { while ((getline c < classes) > 0) defined[c] = 1 }
      $2 == "function" || !($3 in defined) { print $1 }' | c++filt)
  refused_imports "$public" \
    "free function(s) or variable(s) of libzbase50 by the public names that the installed headers declare, which a program may define with another meaning" \
    "List each function in base/zbase_own_names.h, which gives zpi50's calls its own name" \
    "in zbase_internal::own." || failed=1
  if [ "$failed" -ne 0 ]; then
    tally "libzbase50's own names for what libzpi50 takes from it" 0 1
    return 1
  fi
  echo "libzpi50 takes $taken symbols of libzbase50: $((taken - $(wc -l <"$work/imports.internal"))) of the installed headers' classes, $(wc -l <"$work/imports.internal") of the base library's own names"
  tally "libzbase50's own names for what libzpi50 takes from it" 1 0
}

soname() { sed -n "s/.*<abi-corpus [^>]*soname='\([^']*\)'.*/\1/p" "$1" | head -n 1; }

# Says that abidiff could not compare `what` (its status `rc` and report)
# and counts it as the tally's `item` failed.
uncompared() {
  local what=$1 rc=$2 item=$3
  echo "abidiff could not compare $what (status $rc):" >&2
  cat "$work/report" >&2
  tally "$item" 0 1
}

# The libraries installed under `prefix` that have no debug information
# (a Release build), or none of the types (-g1, -gsplit-dwarf), whose
# binary interface cannot be seen whole: abidw
# sees their symbols only, not the types of their functions, nor the
# layouts and virtual slots of their classes. Says so and fails when there
# is one.
refuse_without_debug_info() {
  local prefix=$1 name missing=() typeless=()
  for name in "${libraries[@]}"; do
    # (.zdebug_info: compressed the old way, -gz=zlib-gnu; abidw reads it.)
    if ! readelf -SW "$prefix/lib/lib$name.so" | grep -qE ' \.z?debug_info '; then
      missing+=("lib$name.so")
    # Debug information without the types (-g1, which keeps at most a
    # class's declaration; -gsplit-dwarf leaves only a skeleton in the
    # library, and abidw reads no .dwo file) shows no more: not even int.
    elif ! { readelf -wN --debug-dump=info --dwarf-depth=2 "$prefix/lib/lib$name.so" 2>/dev/null; true; } |
        grep -q 'DW_TAG_base_type'; then
      typeless+=("lib$name.so")
    fi
  done
  [ "${#missing[@]}" -eq 0 ] && [ "${#typeless[@]}" -eq 0 ] && return 0
  if [ "${#missing[@]}" -ne 0 ]; then
    echo "${missing[*]} under $prefix: no debug information. Without it the binary interface is seen" >&2
  else
    echo "${typeless[*]} under $prefix: debug information without the types (-g1, or -gsplit-dwarf," >&2
    echo "whose .dwo files abidw does not read). Without them the binary interface is seen" >&2
  fi
  echo "as symbols only (not the types of the functions, nor the layouts and virtual slots of the" >&2
  echo "classes), so it is neither described nor checked: check an install of a build with debug" >&2
  echo "information (-g, as RelWithDebInfo or the install stage's build/plain make it)." >&2
  return 1
}

# Refuses the libraries installed under `prefix` when another compiler
# than g++ made them, or g++ with link-time optimisation (-flto), as their
# debug information names them (DW_AT_producer; the compiler also in the
# section .comment): the stored description is
# of a g++ build without it, and another compiler describes the same
# interface otherwise in its debug information (artificial parameters,
# implicit members) and exports another share of the virtual tables, VTTs
# and type information of the classes without a key function (each
# program makes its own copy of those), while the link of an LTO build
# rewrites the debug information and keeps some of them local. Says so and
# fails. With `lto`, only another compiler is refused.
refuse_unjudged() {
  local prefix=$1 lto=${2:-} name producers other=
  for name in "${libraries[@]}"; do
    # (Of the library itself: readelf goes on to the .dwo files of a split
    # build, and misreads their producer.)
    producers=$(readelf --debug-dump=info --dwarf-depth=1 "$prefix/lib/lib$name.so" 2>/dev/null |
      awk '/^Contents of the .*\.dwo section/ { dwo = 1 }
        !dwo && sub(/.*DW_AT_producer *: *\([^)]*\): /, "")' | sort -u)
    # The compilers that the section .comment names (a build without debug
    # information in the library names them there too); g++ writes "GCC: ".
    other=$({
      grep -vE '^(GNU (C|C\+\+|GIMPLE|AS)[0-9]* |$)' <<<"$producers"
      readelf -p .comment "$prefix/lib/lib$name.so" 2>/dev/null | sed -n 's/^ *\[ *[0-9a-f]*\] *//p' |
        grep -vE '^(GCC: |Linker: )'
    } | head -n 1 || true)
    if [ -n "$other" ]; then
      echo "lib$name.so under $prefix: built by $other, not g++. The stored description" >&2
      echo "($stored) is of a g++ build, and another compiler describes the same interface otherwise" >&2
      echo "in its debug information (artificial parameters, implicit members) and exports another" >&2
      echo "share of the virtual tables, VTTs and type information of classes without a key function," >&2
      echo "so this build is not judged against it: check an install built with g++, as the install" >&2
      echo "stage builds it (scripts/abi.sh relocations judges any build)." >&2
      return 1
    fi
    if [ -z "$lto" ] && grep -qE '^GNU GIMPLE |[[:space:]]-flto([=[:space:]]|$)' <<<"$producers"; then
      echo "lib$name.so under $prefix: built with link-time optimisation (-flto). Its link rewrites" >&2
      echo "the debug information that the stored description ($stored, of a build without it) is" >&2
      echo "compared by, so this build is not judged against it: check an install built without" >&2
      echo "-flto, as the install stage builds it (scripts/abi.sh exports judges an LTO build by" >&2
      echo "its symbols)." >&2
      return 1
    fi
  done
}

# Compares the libraries installed under `prefix` with the stored
# description; counts each library in the run's tally.
check() {
  local prefix=$1 name failed=0 rc was now
  if ! refuse_without_debug_info "$prefix"; then
    tally "binary interface seen whole (debug information)" 0 1
    return 1
  fi
  if ! refuse_unjudged "$prefix"; then
    tally "binary interface of a build that the check judges (g++, no LTO)" 0 1
    return 1
  fi
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
      uncompared "lib$name" "$rc" "binary interface of lib$name"
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
        grep -E 'changes summary' "$work/report" | sed 's/^/  /'
      else
        echo "lib$name: the binary interface is the stored one"
      fi
      tally "binary interface of lib$name" 1 0
    fi
  done
  check_types || failed=1
  check_constants || failed=1
  check_views "$(cd "$prefix" && pwd)/include/zpi50" || failed=1
  return "$failed"
}

# A description (abidw's) with each named data member named by its place
# in its type instead (m0, m1, ...): a renamed member leaves no trace, any
# other change to a member (its type, offset, a member gone) stays.
unnamed_members() {
  awk '
    /<(class-decl|union-decl) / && !/\/>[[:space:]]*$/ { place[++depth] = 0 }
    /<\/(class-decl|union-decl)>/ { depth-- }
    /<data-member[ >]/ { member = 1 }
    member && /<var-decl / {
      if ($0 !~ / name=\x27\x27/) sub(/ name=\x27[^\x27]*\x27/, " name=\x27m" place[depth] "\x27")
      place[depth]++
      member = 0
    }
    { print }' "$1"
}

# Compares the layouts of the types that the installed headers define
# ($work/now/types.abi) with the stored ones: a type gone or changed (its
# size, members, their offsets and types, bases, virtual slots) fails
# unless the SONAME changed; an added type passes (and is told).
check_types() {
  local rc=0 was now
  if [ ! -f "$stored/types.abi" ]; then
    echo "no stored layouts of the headers' types: make them with scripts/abi.sh remake" >&2
    tally "types of the installed headers" 0 1
    return 1
  fi
  abidiff --non-reachable-types "$stored/types.abi" "$work/now/types.abi" >"$work/report" 2>&1 || rc=$?
  # abidiff counts a union whose size stays as unchanged, whatever became
  # of its members (a "harmless" change): a member whose type changed
  # within a union is misread like one of a struct. So a harmless change
  # beneath a union fails, once the names of the data members are set
  # aside (a member renamed is harmless too, and changes no layout).
  unnamed_members "$stored/types.abi" >"$work/was.unnamed"
  unnamed_members "$work/now/types.abi" >"$work/now.unnamed"
  abidiff --non-reachable-types --harmless "$work/was.unnamed" "$work/now.unnamed" >"$work/harmless" 2>&1 || true
  if grep -qE "^  \[C\] 'union |anonymous data member at offset .* changed from:" "$work/harmless"; then
    rc=$((rc | 4))
    cat "$work/harmless" >>"$work/report"
  fi
  was=$(soname "$stored/libzpi50.abi")
  now=$(soname "$work/now/libzpi50.abi")
  if [ $((rc & 3)) -ne 0 ]; then
    uncompared "the types of the installed headers" "$rc" "types of the installed headers"
    return 1
  fi
  if [ "$rc" -eq 0 ]; then
    echo "types: the stored layouts of the installed headers' types"
  elif awk '/summary:/ { for (i = 1; i < NF; i++) if ($(i + 1) ~ /^(removed|Removed|changed|Changed)/ && $i + 0 > 0) bad = 1 }
      END { exit bad }' "$work/report"; then
    echo "types: the stored layouts, with additions (remake the description once merged: scripts/abi.sh remake):"
    grep -E 'summary' "$work/report" | sed 's/^/  /'
  elif [ "$was" != "$now" ]; then
    echo "types: the layouts changed with the SONAME ($was -> $now); remake the stored description: scripts/abi.sh remake"
  else
    echo "the types of the installed headers changed under the same SONAME $now:" >&2
    cat "$work/report" >&2
    echo "A translator compiled against the stored headers misreads them. Keep the layout" >&2
    echo "(or raise the SOVERSION for an incompatible change), then remake the description:" >&2
    echo "scripts/abi.sh remake" >&2
    tally "types of the installed headers" 0 1
    return 1
  fi
  tally "types of the installed headers" 1 0
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
  # Each stored line that is not there now as it stands. A line's item is
  # its name, and its kind when it is not a constant's (a class's
  # alignment and its typedef's type may share a name).
  local item='function item() { return ($2 == "align" || $2 == "typedef" || $2 == "bits") ? $1 " " $2 : $1 }'
  changed=$(grep -vE '^(#|soname )' "$stored/constants.txt" | sort | comm -23 - <(grep -vE '^(#|soname )' "$work/now/constants.txt" | sort) |
    awk -v now="$awk_work/now/constants.txt" "$item"'
      BEGIN { while ((getline < now) > 0) value[item()] = substr($0, length($1) + 2) }
      { k = item(); print "  " $1 ": " substr($0, length($1) + 2) " -> " ((k in value) ? value[k] : "gone") }')
  added=$(awk "$item"' !/^(#|soname )/ { print item() }' "$work/now/constants.txt" | sort |
    comm -13 <(awk "$item"' !/^(#|soname )/ { print item() }' "$stored/constants.txt" | sort) -)
  if [ -n "$changed" ] && [ "$was" = "$now" ]; then
    echo "constants (or alignments, typedefs' types, bit-field widths) of the installed headers changed under the same SONAME $now:" >&2
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
    echo "constants: the stored values, with $(wc -l <<<"$added") added (remake the list once merged: scripts/abi.sh remake): $(paste -sd ',' <<<"$added" | sed 's/,/, /g')"
  else
    echo "constants: the $(grep -cvE '^(#|soname )' "$stored/constants.txt") stored values (constants, alignments, typedefs' types, bit-field widths)"
  fi
  macros_left_out
  tally "constants of the installed headers" 1 0
}

# Says which object-like macros of the installed headers the list leaves
# out, their value being no constant of a type that it shows
# ($work/macros_left_out).
macros_left_out() {
  [ -s "$work/macros_left_out" ] || return 0
  echo "constants: left out, not constants that the list shows: the macros $(paste -sd ',' "$work/macros_left_out" | sed 's/,/, /g') (an attribute, a type, a code fragment or no value; a pointer other than a text, a class; the place or time of its use)"
}

# The dialects and compilers that the README allows translators, but g++
# in C++17, whose reading the stored description holds: "COMPILER DIALECT"
# a line, for each compiler here (g++, clang++) and each of C++17, C++20
# and C++2b (the newest that both name so) that it knows. Those it does
# not know go to $work/views.unknown.
views() {
  local cxx std
  : >"$work/views.unknown"
  for cxx in g++ clang++; do
    command -v "$cxx" >/dev/null || continue
    for std in c++17 c++20 c++2b; do
      [ "$cxx $std" != "g++ c++17" ] || continue
      if "$cxx" -std="$std" -fsyntax-only -x c++ /dev/null 2>/dev/null; then
        echo "$cxx $std"
      else
        echo "$cxx -std=$std" >>"$work/views.unknown"
      fi
    done
  done
}

# The installed headers' own lines as COMPILER preprocesses them in
# DIALECT (of `include`), "FILE:LINE<TAB>TEXT" a line, TEXT without blanks
# (the compilers space what macros expand to otherwise); the directives
# left out.
view_lines() {
  local cxx=$1 std=$2 include=$3
  "$cxx" -std="$std" -E -I"$include" -x c++ "$include/zpi50.h" 2>/dev/null |
    ZPI_HEADERS=$include/ awk "$marker_file"'
      BEGIN { dir = ENVIRON["ZPI_HEADERS"] }
      /^# [0-9]+ "/ {
        f = marker_file($0)
        ours = index(f, dir) == 1; file = substr(f, length(dir) + 1); line = $2
        next
      }
      /^[[:space:]]*#/ { line++; next }
      {
        t = $0
        gsub(/[[:space:]]+/, "", t)
        # (An expansion may be written on lines of its own, under the line
        # of its use.)
        if (ours && t != "") {
          k = file ":" line
          if (k != last) { if (last != "") print last "\t" text; last = k; text = "" }
          text = text t
        }
        line++
      }
      END { if (last != "") print last "\t" text }'
}

# Compiles the program that lists the constants ($work/constants.cpp) with
# COMPILER in DIALECT and runs it, against the headers in `include`, and
# preprocesses the headers so: into OUT.out, OUT.log, OUT.status (the
# compiler's or the program's) and OUT.lines (view_lines).
run_view() {
  local cxx=$1 std=$2 include=$3 out=$4 rc=0
  "$cxx" -std="$std" -fno-access-control -Wno-builtin-macro-redefined -I"$include" "$work/constants.cpp" \
    -o "$out.program" 2>"$out.log" && "$out.program" >"$out.out" 2>>"$out.log" || rc=$?
  echo "$rc" >"$out.status"
  view_lines "$cxx" "$std" "$include" >"$out.lines"
}

# Judges the installed headers in `include` in each other dialect and
# compiler (views; all at once): the program that lists their constants,
# alignments, typedefs and layouts, compiled by each, must print what g++'s
# in C++17 printed ($work/listed), the stored description's reading: a
# translator built so and the libraries would not agree on what differs.
# Says where a view reads the headers otherwise (their lines, as
# preprocessed): what only that view declares there is not judged. Names
# the dialects a compiler here does not know, and the conditional
# directives that choose on a macro no view sets (unjudged_branches).
# Counts in the run's tally.
check_views() {
  local include=$1 n=0 i cxx std name failed=0 differing lines same=()
  view_lines g++ c++17 "$include" >"$work/view.0.lines"
  while read -r cxx std; do
    n=$((n + 1))
    echo "$cxx -std=$std" >"$work/view.$n.name"
    run_view "$cxx" "$std" "$include" "$work/view.$n" &
  done < <(views)
  wait
  for ((i = 1; i <= n; i++)); do
    name=$(cat "$work/view.$i.name")
    if [ "$(cat "$work/view.$i.status")" -ne 0 ]; then
      echo "the installed headers do not compile as $name into the program that lists their constants and layouts:" >&2
      head -n 40 "$work/view.$i.log" >&2
      failed=$((failed + 1))
      continue
    fi
    # (The same program: the same names, line by line.)
    differing=$(awk 'NR == FNR { was[FNR] = $0; n = FNR; next }
      { now[FNR] = $0; if (FNR > n) n = FNR }
      END {
        for (i = 1; i <= n; i++) if (was[i] != now[i]) {
          w = was[i]; v = now[i]; item = w != "" ? w : v; sub(/ .*/, "", item)
          sub(/^[^ ]* /, "", w); sub(/^[^ ]* /, "", v)
          print "  " item ": " (w != "" ? w : "none") " -> " (v != "" ? v : "none")
        }
      }' "$work/listed" "$work/view.$i.out")
    if [ -n "$differing" ]; then
      echo "the installed headers read otherwise as $name than as g++ -std=c++17 (the stored description's reading):" >&2
      echo "$differing" >&2
      failed=$((failed + 1))
      continue
    fi
    same+=("$name")
    # The lines whose text the one reads and the other does not (where each
    # reads it).
    lines=$(awk -F '\t' 'NR == FNR { primary[$2] = $1; next }
      { view[$2] = $1; if (!($2 in primary)) print $1 }
      END { for (t in primary) if (!(t in view)) print primary[t] }' "$work/view.0.lines" "$work/view.$i.lines" |
      sort -u -t : -k 1,1 -k 2,2n)
    if [ -n "$lines" ]; then
      echo "views: $name reads the installed headers otherwise at $(head -n 20 <<<"$lines" | paste -sd ',' | sed 's/,/, /g')$([ "$(wc -l <<<"$lines")" -le 20 ] || echo " and $(($(wc -l <<<"$lines") - 20)) more lines"): what only it declares there (a constant, a class, a function, a virtual operation) is not judged"
    fi
  done
  if [ ${#same[@]} -gt 0 ]; then
    echo "views: the constants, alignments, typedefs and layouts of the installed headers as $(printf '%s, ' "${same[@]}" | sed 's/, $//') are those of g++ -std=c++17"
  fi
  if [ -s "$work/views.unknown" ]; then
    echo "views: not judged, unknown to the compiler here: $(paste -sd ',' "$work/views.unknown" | sed 's/,/, /g')"
  fi
  cut -f 1 "$work"/view.*.lines | sort -u >"$work/views.read"
  unjudged_branches "$include" "$work/views.read" >"$work/branches"
  if grep -q '^macro' "$work/branches"; then
    echo "views: not judged, the branches on macros that neither the dialect nor the compiler sets (a translator's, its platform's, a build's), read with none of them defined: $(sed -n 's/^macro\t//p' "$work/branches" | paste -sd ';' | sed 's/;/; /g')"
  fi
  if grep -q '^unread' "$work/branches"; then
    echo "views: not judged, the branches that no dialect or compiler here reads (a later dialect's, another compiler's or version's): $(sed -n 's/^unread\t//p' "$work/branches" | paste -sd ';' | sed 's/;/; /g')"
  fi
  if [ "$failed" -ne 0 ]; then
    echo "A translator built in a dialect or by a compiler that reads them otherwise and the libraries" >&2
    echo "would not agree on them (the README allows translators in C++17 or later, built with g++ or" >&2
    echo "clang): keep the constants and layouts the same in every dialect and compiler." >&2
  fi
  tally "the installed headers in other dialects and compilers" $((n - failed)) "$failed"
  [ "$failed" -eq 0 ]
}

# The conditional directives of the installed headers in `include` that
# choose on a macro that neither the dialect nor the compiler sets, nor the
# headers themselves (one they set only when it is not set is a switch):
# "macro<TAB>FILE:LINE (DIRECTIVE)" a line. Not an include guard. Given
# the file READ of the lines that the views read ("FILE:LINE" a line), also
# the branches (of #if, #elif, #else) that hold code of their own of which
# no view reads a line (a later dialect's, another compiler's or version's):
# "unread<TAB>FILE:LINE (DIRECTIVE)", not those within one named already.
unjudged_branches() {
  local files
  mapfile -d '' files < <(cd "$1" && find . -name '*.h' -type f -print0 | LC_ALL=C sort -z)
  [ ${#files[@]} -gt 0 ] || return 0
  (cd "$1" && ZPI_READ=${2:-} awk '
    BEGIN { if (ENVIRON["ZPI_READ"] != "") while ((getline k < ENVIRON["ZPI_READ"]) > 0) read[k] = 1 }
    # The names of a condition (not those within a __has_...() nor numbers).
    function names(cond, out, t) {
      gsub(/__has_[A-Za-z_]*[[:space:]]*\([^)]*\)/, " ", cond)
      out = " "
      while (match(cond, /[A-Za-z_][A-Za-z0-9_]*|[0-9][A-Za-z0-9_.]*/)) {
        t = substr(cond, RSTART, RLENGTH)
        cond = substr(cond, RSTART + RLENGTH)
        if (t ~ /^[A-Za-z_]/) out = out t " "
      }
      return out
    }
    # A branch begins (of the branch `up`; its directive d, none for #else).
    function branch(up, d) {
      group[top] = ++g; parent[g] = up; opened[g] = d; at_line[g] = file ":" FNR; text_of[g] = "#" line
    }
    FNR == 1 { file = FILENAME; sub(/^\.\//, "", file); directives = 0; text = ""; comment = 0 }
    # (A directive may go on over lines ending in a backslash.)
    { text = text $0 }
    /\\$/ { sub(/\\$/, "", text); next }
    {
      line = text; text = ""
      # (A comment may go on over lines.)
      if (comment) {
        if (!match(line, /\*\//)) next
        line = substr(line, RSTART + 2); comment = 0
      }
      gsub(/\/\*([^*]|\*+[^*\/])*\*+\//, " ", line)
      sub(/\/\/.*/, "", line)
      if (match(line, /\/\*/)) { line = substr(line, 1, RSTART - 1); comment = 1 }
      if (line !~ /^[[:space:]]*#/) {
        # Code, of the branch it is in: read by a view or not.
        if (top && line ~ /[^[:space:]]/) { code[group[top]] = 1; if ((file ":" FNR) in read) seen[group[top]] = 1 }
        next
      }
      sub(/^[[:space:]]*#[[:space:]]*/, "", line)
      word = line; sub(/[^A-Za-z].*/, "", word)
      rest = substr(line, length(word) + 1)
      directives++
      if (word ~ /^(if|ifdef|ifndef)$/) {
        top++; cond[top] = names(rest); at[top] = ++n
        where[n] = file ":" FNR; what[n] = "#" line; used[n] = cond[top]
        if (directives == 1 && word == "ifndef") guard_of[file] = n
        branch(top > 1 ? group[top - 1] : 0, n)
      } else if (word ~ /^elif/) {
        cond[top] = cond[top] names(rest); ++n
        where[n] = file ":" FNR; what[n] = "#" line; used[n] = names(rest)
        branch(parent[group[top]], n)
      } else if (word == "else") {
        branch(parent[group[top]], 0)
      } else if (word == "endif") {
        top--
      } else if (word == "define") {
        m = rest; sub(/^[[:space:]]*/, "", m); sub(/[^A-Za-z0-9_].*/, "", m)
        # An include guard: #ifndef NAME, then #define NAME, first.
        if (directives == 2 && (file in guard_of) && used[guard_of[file]] == " " m " ") { guard[guard_of[file]] = 1; own[m] = 1; next }
        switch_ = 0
        for (i = 1; i <= top; i++) if (index(cond[i], " " m " ")) switch_ = 1
        if (switch_) switched[m] = 1; else own[m] = 1
      }
    }
    END {
      split("defined true false __cplusplus __clang__ __clang_major__ __clang_minor__ __clang_patchlevel__ __clang_version__ __GNUC__ __GNUC_MINOR__ __GNUC_PATCHLEVEL__ __GNUG__", v, " ")
      for (i in v) set[v[i]] = 1
      for (i = 1; i <= n; i++) {
        if (i in guard) continue
        k = split(used[i], u, " ")
        for (j = 1; j <= k; j++)
          if (!(u[j] in set) && u[j] !~ /^__cpp_/ && !((u[j] in own) && !(u[j] in switched))) { print "macro\t" where[i] " (" what[i] ")"; named[i] = 1; break }
      }
      for (i = 1; i <= g; i++) {
        told[i] = (parent[i] && told[parent[i]]) || named[opened[i]]
        if (!told[i] && code[i] && !seen[i] && ENVIRON["ZPI_READ"] != "") { print "unread\t" at_line[i] " (" text_of[i] ")"; told[i] = 1 }
      }
    }' "${files[@]}")
}

# (Sourced: the functions only.)
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

need=()
command -v abidw >/dev/null || need+=(abigail-tools)
command -v clang++ >/dev/null || need+=(clang)
command -v jq >/dev/null || need+=(jq)
need_packages "${need[@]}"
on_exit
work=$(scratch -d)
# The folder as awk -v gives it back (it reads escapes: \n, \t, \\).
awk_work=${work//\\/\\\\}

case ${1:-} in
remake)
  build=${INSTALL_BUILD_DIR:-build/plain}
  plain_build "$build" zpi50
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  refuse_without_debug_info "$work/prefix"
  refuse_unjudged "$work/prefix"
  describe "$work/prefix" "$stored"
  for name in "${libraries[@]}"; do
    echo "$stored/lib$name.abi: $(soname "$stored/lib$name.abi"), $(grep -c '<elf-symbol ' "$stored/lib$name.abi") symbols"
  done
  echo "$stored/types.abi: $(awk -f scripts/abi_classes.awk "$stored/types.abi" | sort -u | wc -l) classes"
  echo "$stored/constants.txt: $(grep -cvE '^(#|soname )' "$stored/constants.txt") values (constants, alignments, typedefs' types, bit-field widths)"
  macros_left_out
  ;;
check) check "${2:?usage: scripts/abi.sh check PREFIX}" ;;
exports) exports "${2:?usage: scripts/abi.sh exports PREFIX}" ;;
relocations) relocations "${2:?usage: scripts/abi.sh relocations PREFIX}" ;;
imports) imports "${2:?usage: scripts/abi.sh imports PREFIX}" ;;
describe)
  refuse_without_debug_info "${2:?usage: scripts/abi.sh describe PREFIX DIR}"
  refuse_unjudged "$2"
  describe "$2" "${3:?usage: scripts/abi.sh describe PREFIX DIR}"
  ;;
*)
  echo "usage: scripts/abi.sh remake | check PREFIX | exports PREFIX | relocations PREFIX | imports PREFIX | describe PREFIX DIR" >&2
  exit 2
  ;;
esac
