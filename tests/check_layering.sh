#!/bin/sh
# Checks that dependencies run one way, from the include lines:
# - the base library depends on nothing built on it: every header that a
#   file of base/ includes in quotes is a file of base/ (found beside the
#   including file or in one of base's include folders, never through "..");
# - kernel/ uses base/ and api/ only, except the model's persistence
#   operations (kernel/model/model_persistence.cpp), the one file that
#   reaches xml/ and neutral/.
root=${1:?usage: check_layering.sh <source root>}
root=$(cd "$root" && pwd -P) || exit 1
base=$root/base
status=0
checked=0

# Paths are split at line ends only and never expanded, so a checkout whose
# path holds blanks or wildcards is read whole (and taken off a file's path
# as text, not as a pattern).
base_dirs=$(for dir in "$base"/*/; do printf '%s\n' "$dir"; done)
IFS='
'
set -f

includes() { sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$1"; }

for file in $(find "$base" -name '*.h' -o -name '*.cpp'); do
  checked=$((checked + 1))
  for name in $(includes "$file"); do
    found=
    case $name in
      *..*) ;;
      *)
        for dir in "$(dirname "$file")" "$base" $base_dirs; do
          if [ -f "$dir/$name" ]; then found=1; break; fi
        done ;;
    esac
    if [ -z "$found" ]; then
      echo "base/${file#"$base"/}: includes \"$name\", which is not a file of base/"
      status=1
    fi
  done
done

for file in $(find "$root/kernel" -name '*.h' -o -name '*.cpp'); do
  checked=$((checked + 1))
  rel=${file#"$root"/}
  for name in $(includes "$file"); do
    case $name in
      kernel/*|api/*) ;;
      xml/*|neutral/*)
        [ "$rel" = kernel/model/model_persistence.cpp ] || {
          echo "$rel: includes \"$name\"; only kernel/model/model_persistence.cpp reaches xml/ and neutral/"
          status=1
        } ;;
      */*)
        echo "$rel: includes \"$name\"; kernel/ uses base/ and api/ only"
        status=1 ;;
    esac
  done
done

# A check that found nothing to read has checked nothing.
if [ "$checked" -lt 2 ]; then
  echo "no source files found under $root/base and $root/kernel"
  status=1
fi
[ $status -eq 0 ] && echo "base/ includes only base/; kernel/ reaches xml/ and neutral/ in one file"
exit $status
