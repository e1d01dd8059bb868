#!/usr/bin/env bash
# Installs what the build needs, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Then runs each further
# stage in scripts/stages/ in name order; each stage installs what it needs
# itself and fails the run when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
[ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${need[@]}"
fi

# A decimal-comma locale, so the tests can show that numbers print without
# the locale's influence.
if ! locale -a 2>/dev/null | grep -qi '^de_DE'; then
  command -v localedef >/dev/null || { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends locales; }
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "no comma locale: the locale test will skip"
fi

build=${BUILD_DIR:-build/asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPI_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"
(cd "$build" && ctest --output-on-failure -j "$(nproc)")

# Further stages (each gets the sanitizer build folder in ASAN_BUILD_DIR).
export ASAN_BUILD_DIR="$PWD/$build"
for stage in scripts/stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "=== stage $(basename "$stage")"
  bash "$stage"
done
