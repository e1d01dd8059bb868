#!/usr/bin/env bash
# Installs the library from a plain (no sanitizer) Release build into a
# temporary prefix, then builds and runs the consumer project of
# examples/consumer against the installed tree: once finding zpi50 with
# find_package, once with pkg-config. Fails when the installed include
# folder is not exactly zpi50.h and the headers it brings in (a header
# missing from the install, or an internal one installed or included),
# when an installed header does not compile on its own, or when the
# consumer fails.
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
[ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
need_packages "${need[@]}"

start=$(date +%s)
build=${INSTALL_BUILD_DIR:-build/plain}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZPI_SANITIZE=OFF \
  -DZPI_TESTS=OFF -DZPI_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target zpi50
built=$(date +%s)
echo "library built in $((built - start)) s"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
include=$prefix/include/zpi50

# What zpi50.h reaches from the installed folder alone (fails on a header
# that is not there), against what was installed.
if ! reached=$(g++ -std=c++17 -MM -I"$include" "$include/zpi50.h"); then
  echo "zpi50.h does not compile from the installed headers alone" >&2
  exit 1
fi
reached=$(printf '%s\n' "$reached" | tr ' \\' '\n\n' | grep '\.h$' | xargs -n1 basename | sort -u)
installed=$(cd "$include" && ls | sort)
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
echo "installed headers: $(echo $installed | wc -w), exactly those zpi50.h brings in"
tally "installed headers" 1 0

# The consumer, each way; it runs without any library path set, as an
# installed program would.
consumer() {
  local name=$1
  shift
  cmake -S examples/consumer -B "$work/$name" -G Ninja "$@" >/dev/null
  cmake --build "$work/$name" -j "$(nproc)" >/dev/null
  # Its checks count in the run's tally ("ok: ..." and "FAILED: ..." lines).
  local rc=0 ok failed
  env -u LD_LIBRARY_PATH "$work/$name/consumer" | tee "$work/$name.log" || rc=$?
  ok=$(grep -c '^ok: ' "$work/$name.log" || true)
  failed=$(grep -c '^FAILED' "$work/$name.log" || true)
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
  fi
  tally "consumer checks ($name)" "$ok" "$failed"
  return "$rc"
}
echo "--- consumer with find_package"
consumer find_package -DCMAKE_PREFIX_PATH="$prefix"
echo "--- consumer with pkg-config"
PKG_CONFIG_PATH=$prefix/lib/pkgconfig consumer pkg-config -DZPI_CONSUMER_PKGCONFIG=ON

echo "install stage passed in $(($(date +%s) - start)) s"
