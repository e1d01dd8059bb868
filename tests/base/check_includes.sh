#!/bin/sh
# The base library depends on nothing built on it: every header that a file
# of base/ includes in quotes is a file of base/ (found beside the including
# file or in one of base's include folders, never through "..").
root=${1:?usage: check_includes.sh <source root>}
base=$(cd "$root/base" && pwd -P)
status=0
for file in $(find "$base" -name '*.h' -o -name '*.cpp'); do
  for name in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
    found=
    case $name in
      *..*) ;;
      *)
        for dir in "$(dirname "$file")" "$base" "$base"/*/; do
          if [ -f "$dir/$name" ]; then found=1; break; fi
        done ;;
    esac
    if [ -z "$found" ]; then
      echo "${file#$base/}: includes \"$name\", which is not a file of base/"
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "every include of base/ stays in base/"
exit $status
