#!/usr/bin/env bash
# The public functions of libzbase50 that libzpi50 installed under PREFIX
# takes, one symbol a line: the function behind each of the base library's
# own names that it takes (zbase_internal::own::NAME stands for the public
# NAME of the same parameters; a C function's NAME is its symbol), and
# each free function that it still takes by its public name. Fails, saying
# which, on an own name that stands for no public function.
#
#   tests/install/public_namesakes.sh PREFIX
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/../.." && pwd)
lib=${1:?usage: public_namesakes.sh PREFIX}/lib
work=$(mktemp -d)
trap 'trap "" INT TERM HUP; rm -rf "$work"' EXIT

# The dynamic symbols of a library that nm lists with the options given,
# without their versions.
symbols() { nm -D "$@" | awk '$(NF - 1) != "A" { sub(/@.*/, "", $NF); print $NF }' | sort -u; }
symbols --defined-only "$lib/libzbase50.so" >"$work/base"
symbols --undefined-only "$lib/libzpi50.so" | comm -12 "$work/base" - >"$work/taken"
c++filt <"$work/base" | paste "$work/base" - >"$work/base.names"
c++filt <"$work/taken" | paste "$work/taken" - >"$work/taken.names"
awk -f "$root/scripts/symbol_owner.awk" "$work/taken.names" >"$work/taken.owners"
awk -F '\t' '
  FILENAME == ARGV[1] { symbol[$2] = $1; next }
  FILENAME == ARGV[2] { name[$1] = $2; next }
  name[$1] ~ /^zbase_internal::own::/ {
    public = name[$1]
    sub(/^zbase_internal::own::/, "", public)
    if (public in symbol) { print symbol[public]; next }
    c = public
    sub(/\(.*/, "", c)
    if (symbol[c] == c) { print c; next }
    print "libzbase50 exports no public function behind its own name " name[$1] > "/dev/stderr"
    failed = 1
    next
  }
  # (symbol_owner.awk reads a namespace as a class: a free function in
  # one is not of this kind.)
  $2 == "function" { print $1 }
  END { exit failed }' "$work/base.names" "$work/taken.names" "$work/taken.owners" | sort -u
