#!/usr/bin/env bash
# Builds the benchmarks of bench/ once, optimised (Release, with the test
# switches that some of them need, without the tests) in build/bench
# (override with BENCH_BUILD_DIR), and runs each briefly, its cases apart
# and as many at once as there are cores, so that none stops building or
# running unseen: every case but those of 100000 items or more,
# each for as short a time as it allows (--benchmark_min_time=0.01; a case
# that fixes its own time or iterations keeps them). Their figures are not
# judged here: timings on a busy machine are no measure. A benchmark that
# does not build, or fails when run (or runs out of BENCH_TIMEOUT seconds,
# default 300), fails the stage; so does a case that reports an error
# (SkipWithError: the benchmark's own check of what it made failed, and
# its program still ends with status 0) or that did not run.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
need_packages "${need[@]}"

start=$(date +%s)
build=${BENCH_BUILD_DIR:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZPI_TESTS=OFF -DZPI_TEST_HOOKS=ON -DZPI_BENCH=ON >/dev/null
targets=$(ninja -C "$build" -t targets all | target_names bench)
expected=$(find bench -maxdepth 1 -name 'bench_*.cpp' | wc -l)
if [ "$(wc -w <<<"$targets")" -ne "$expected" ]; then
  echo "$(wc -w <<<"$targets") of the $expected benchmarks of bench/ are known to the build" >&2
  tally "benchmarks built" 0 1
  exit 1
fi
# shellcheck disable=SC2086
if ! cmake --build "$build" -j "$(nproc)" --target $targets; then
  tally "benchmarks built" 0 1
  exit 1
fi
built=$(date +%s)

on_exit
logs=$(scratch -d)
small='-/[0-9]{6,}(/|$)'
# One case of a benchmark: its program, its number and its name.
run_one() {
  local name=$1 n=$2 case=$3 log rc=0 why=
  log=$logs/$name.$n.log
  timeout -k 10 "${BENCH_TIMEOUT:-300}" "$build/$name" --benchmark_min_time=0.01 \
    --benchmark_filter="^${case//./\\.}\$" >"$log" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    why="status $rc"
  elif grep -q 'ERROR OCCURRED' "$log"; then
    why="reported an error"
  elif ! awk -v c="$case" '$1 == c { ran = 1 } END { exit !ran }' "$log"; then
    why="did not run"
  fi
  [ -z "$why" ] || { echo "$case: $why"; tail -20 "$log"; } >>"$logs/$name.failed"
}
export -f run_one
export build logs
for name in $targets; do
  "$build/$name" --benchmark_list_tests --benchmark_filter="$small" >"$logs/$name.cases" 2>&1 ||
    { echo "cannot list its cases:"; cat "$logs/$name.cases"; } >>"$logs/$name.failed"
done
for name in $targets; do
  [ -e "$logs/$name.failed" ] || awk -v name="$name" '{ print name, NR, $0 }' "$logs/$name.cases"
done | xargs -P "$(nproc)" -L 1 bash -c 'run_one "$@"' run_one
failed=()
for name in $targets; do
  if [ -e "$logs/$name.failed" ]; then
    failed+=("$name")
    echo "$name: FAILED" >&2
    cat "$logs/$name.failed" >&2
  else
    echo "$name: ran its $(wc -l <"$logs/$name.cases") cases"
  fi
done
tally "benchmarks built and run" $(($(wc -w <<<"$targets") - ${#failed[@]})) ${#failed[@]}
echo "bench stage: build $((built - start)) s, runs $(($(date +%s) - built)) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "benchmarks failed: ${failed[*]}" >&2
  exit 1
fi
