#!/usr/bin/env bash
# Installs what the build needs, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Then runs each further
# stage in scripts/stages/ in name order; each stage installs what it needs
# itself. A failing stage fails the run, after the others have run.
#
# Every step adds its counts to a tally (scripts/common.sh); the run ends
# with them, and with one line "N passed, M failed" that sums them, whether
# it passed or not.
#
# Run by someone other than root, it installs nothing: it names the missing
# packages and how to install them, and stops.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
[ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
command -v jq >/dev/null || need+=(jq) # the test abi_names
need_packages "${need[@]}"

# A decimal-comma locale, so the tests can show that numbers print without
# the locale's influence. Optional: without it that test skips.
if ! locale -a 2>/dev/null | grep -qi '^de_DE'; then
  if [ "$(id -u)" -eq 0 ]; then
    command -v localedef >/dev/null || need_packages locales
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "no comma locale: the locale test will skip"
  else
    echo "no comma locale: the locale test will skip (as root: localedef -i de_DE -f UTF-8 de_DE.UTF-8)"
  fi
fi

ZPI_TALLY=$(mktemp)
export ZPI_TALLY
trap 'rm -f "$ZPI_TALLY"' EXIT

failures() { awk -F '\t' '{ s += $3 } END { print s + 0 }' "$ZPI_TALLY"; }

# Runs one step; a step that fails without having counted a failure counts
# as one failed check (a build that broke, a stage that stopped early).
status=0
step() {
  local name=$1 before
  shift
  before=$(failures)
  if ! "$@"; then
    status=1
    if [ "$(failures)" -eq "$before" ]; then
      tally "$name" 0 1
    fi
  fi
}

build=${BUILD_DIR:-build/asan}
sanitizer_tests() {
  local log
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPI_SANITIZE=ON -DZPI_TEST_HOOKS=ON || return
  cmake --build "$build" -j "$(nproc)" || return
  log=$(mktemp)
  local rc=0
  (cd "$build" && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$log" || rc=$?
  tally_ctest "AddressSanitizer tests" "$log"
  rm -f "$log"
  return "$rc"
}
step "AddressSanitizer build" sanitizer_tests

# Further stages (each gets the sanitizer build folder in ASAN_BUILD_DIR).
export ASAN_BUILD_DIR="$PWD/$build"
for stage in scripts/stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "=== stage $(basename "$stage")"
  step "stage $(basename "$stage")" bash "$stage"
done

echo "=== what ran"
awk -F '\t' '{ printf "  %s: %d passed, %d failed\n", $1, $2, $3 }' "$ZPI_TALLY"
awk -F '\t' '{ p += $2; f += $3 } END { printf "%d passed, %d failed\n", p, f }' "$ZPI_TALLY"
if [ "$status" -ne 0 ] || [ "$(failures)" -ne 0 ]; then
  exit 1
fi
