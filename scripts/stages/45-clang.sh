#!/usr/bin/env bash
# Builds the whole tree (libraries, tests, examples, tools; the benchmarks
# are built and run by 55-bench.sh) a second time with clang, in a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer (CMake option ZPI_SANITIZE) in build/clang
# (override with CLANG_BUILD_DIR), and runs the whole test suite under it.
# A compile error or a failing test fails the stage; the compiler's
# warnings (-Wall -Wextra) are counted and shown, and do not fail it.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

need=()
need_clang asan
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
need_packages "${need[@]}"

start=$(date +%s)
build=${CLANG_BUILD_DIR:-build/clang}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPI_SANITIZE=ON -DZPI_BENCH=OFF \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
on_exit
log=$(scratch)
if ! cmake --build "$build" -j "$(nproc)" >"$log" 2>&1; then
  grep -E -A5 'error:|FAILED:' "$log" | head -60 >&2 || tail -40 "$log" >&2
  tally "clang build" 0 1
  exit 1
fi
built=$(date +%s)
warnings=$(grep -cE '^[^ ].*: warning: ' "$log" || true)
if [ "$warnings" -gt 0 ]; then
  echo "clang: $warnings warnings"
  grep -E '^[^ ].*: warning: ' "$log" | sort -u | head -40
fi

rc=0
run_ctest "clang tests (AddressSanitizer, UndefinedBehaviorSanitizer)" "$build" || rc=$?
echo "clang stage: build $(( built - start )) s ($warnings warnings), tests $(( $(date +%s) - built )) s"
exit "$rc"
