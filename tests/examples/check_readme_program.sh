#!/bin/sh
# The first program that README.md quotes is the example that is built and
# run: the first ```cpp block of the README's section "A first program"
# must be examples/first_program.cpp without its leading comment lines.
#
#   check_readme_program.sh <README.md> <first_program.cpp>
set -eu
readme=$1
program=$2

quoted=$(awk '
  /^## / { in_section = ($0 ~ /^## A first program/) }
  in_section && !done && /^```cpp$/ { inside = 1; next }
  inside && /^```$/ { inside = 0; done = 1; next }
  inside { print }
' "$readme")
example=$(awk 'started || !/^\/\//{ started = 1; print }' "$program")

if [ -z "$quoted" ]; then
  echo "$readme: no \`\`\`cpp block in the section \"A first program\"" >&2
  exit 1
fi
if [ "$quoted" != "$example" ]; then
  echo "$readme quotes a first program that differs from $program (below: - README, + example):" >&2
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  printf '%s\n' "$quoted" >"$tmp/readme"
  printf '%s\n' "$example" >"$tmp/example"
  diff -u "$tmp/readme" "$tmp/example" >&2 || true
  exit 1
fi
echo "the README quotes $program as it stands ($(printf '%s\n' "$example" | wc -l) lines)"
