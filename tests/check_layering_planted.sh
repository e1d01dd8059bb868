#!/bin/sh
# The layering check finds a wrong include in a checkout whose path holds
# blanks and wildcards, and finds nothing wrong in the same tree without it.
src=${1:?usage: check_layering_planted.sh <source root>}
# (Removed however it ends: sh runs the EXIT trap on a signal only through
# a trap of the signal's.)
scratch=
trap 'trap "" HUP INT TERM; [ -z "$scratch" ] || rm -rf "$scratch"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
scratch=$(mktemp -d "${TMPDIR:-/tmp}/layering.XXXXXX") || exit 1
tree="$scratch/a b*[x]"
mkdir -p "$tree" && cp -R "$src/base" "$src/kernel" "$tree"/ || exit 1
sh "$src/tests/check_layering.sh" "$tree" >"$scratch/clean" 2>&1 || {
  echo "the tree as it is was refused:"; cat "$scratch/clean"; exit 1
}
echo '#include "xml/framework/sax_handler.h"' >>"$tree/kernel/model/model.cpp"
if sh "$src/tests/check_layering.sh" "$tree" >"$scratch/planted" 2>&1; then
  echo "a kernel file that includes xml/ passed:"; cat "$scratch/planted"; exit 1
fi
grep -q '^kernel/model/model.cpp: includes "xml/framework/sax_handler.h"' "$scratch/planted" || {
  echo "the planted include is not named:"; cat "$scratch/planted"; exit 1
}
echo "a wrong include is found under a path with blanks"
