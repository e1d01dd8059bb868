#!/usr/bin/env bash
# Builds the test programs a second time with ThreadSanitizer (CMake option
# ZPI_TSAN, Debug, in build/tsan; override with TSAN_BUILD_DIR) and runs the
# whole test suite under it. A data race, a lock-order inversion or a use of
# a destroyed mutex ends the test that shows it, and fails the stage.
#
# Nothing is left out: every test runs under ThreadSanitizer (the test
# switches are on, as in the sanitizer build). Benchmarks, examples and
# tools are not built here.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

start=$(date +%s)
build=${TSAN_BUILD_DIR:-build/tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPI_TSAN=ON -DZPI_TEST_HOOKS=ON -DZPI_BENCH=OFF
targets=$(ninja -C "$build" -t targets all | sed -n 's/^\(test_[A-Za-z0-9_]*\): .*/\1/p')
cmake --build "$build" -j "$(nproc)" --target zpi50 $targets
built=$(date +%s)

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
# Some kernels place mappings where this ThreadSanitizer runtime does not
# expect them; it then stops at once with "unexpected memory mapping". Such
# a machine runs the tests with address randomisation off.
run=()
first=$(set -- $targets; echo "$1")
if ! probe=$("$build/$first" --gtest_list_tests 2>&1 >/dev/null); then
  if grep -q "unexpected memory mapping" <<<"$probe" && setarch "$(uname -m)" -R true 2>/dev/null; then
    run=(setarch "$(uname -m)" -R)
    echo "ThreadSanitizer: running with address randomisation off"
  else
    echo "$probe" >&2
    exit 1
  fi
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
rc=0
(cd "$build" && "${run[@]}" ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$log" || rc=$?
tally_ctest "ThreadSanitizer tests" "$log"
echo "ThreadSanitizer stage: build $(( built - start )) s, tests $(( $(date +%s) - built )) s"
exit "$rc"
