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
targets=$(ninja -C "$build" -t targets all | target_names test)
cmake --build "$build" -j "$(nproc)" --target zpi50 $targets
built=$(date +%s)

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
tsan_runner "$build"
rc=0
run_ctest "ThreadSanitizer tests" "$build" "${tsan_run[@]}" || rc=$?
echo "ThreadSanitizer stage: build $(( built - start )) s, tests $(( $(date +%s) - built )) s"
exit "$rc"
