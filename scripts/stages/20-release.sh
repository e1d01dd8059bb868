#!/usr/bin/env bash
# Builds the tree a second time optimised, as a build configured without a
# build type is (Release, the tests on), with the test switches, in
# build/release (override with RELEASE_BUILD_DIR), and runs the whole test
# suite once in it. The sanitizer builds run the tests 10 to 20 times more
# slowly: a test that holds only at their speed (one that waits for a time
# instead of the state it checks) fails here. A compile error or a failing
# test fails the stage. The benchmarks are built and run by 55-bench.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

start=$(date +%s)
build=${RELEASE_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZPI_TEST_HOOKS=ON -DZPI_BENCH=OFF >/dev/null
if ! cmake --build "$build" -j "$(nproc)"; then
  tally "Release build" 0 1
  exit 1
fi
built=$(date +%s)

rc=0
run_ctest "Release tests" "$build" || rc=$?
echo "Release stage: build $((built - start)) s, tests $(($(date +%s) - built)) s"
exit "$rc"
