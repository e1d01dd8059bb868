#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang in a build folder of
# their own (build/fuzz), replays each harness's corpus (fuzz/corpus/<name>),
# then runs each harness for a bounded time, as many at once as there are
# cores. Any crash, leak, sanitizer report or input that hangs fails the
# stage; the input that did it is kept in build/fuzz/artifacts/.
#
# FUZZ_SECONDS   seconds per harness (default 30)
# FUZZ_ONLY      harness names to run (default: all), e.g. "records neutral"
# FUZZ_BUILD_DIR build folder (default build/fuzz)
# FUZZ_JOBS      harnesses run at once, and build jobs (default: the cores)
# New inputs that a run finds are kept in $FUZZ_BUILD_DIR/work/<name>, so a
# later run goes on from them; the corpus in the tree is never changed.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

need=()
need_clang fuzzer
need_packages "${need[@]}"

seconds=${FUZZ_SECONDS:-30}
build=${FUZZ_BUILD_DIR:-build/fuzz}
jobs=${FUZZ_JOBS:-$(nproc)}

stage_start=$(date +%s)
CXX=clang++ cmake -S . -B "$build" -G Ninja -DZPI_FUZZ=ON -DZPI_TESTS=OFF -DZPI_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 >/dev/null
cmake --build "$build" -j "$jobs" --target fuzzers
built=$(date +%s)
echo "fuzz harnesses built in $((built - stage_start)) s"

names=()
for src in fuzz/*.cpp; do
  names+=("$(basename "$src" .cpp)")
done
if [ -n "${FUZZ_ONLY:-}" ]; then
  read -r -a names <<<"$FUZZ_ONLY"
fi

mkdir -p "$build/artifacts" "$build/logs" "$build/work"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Options common to every run of a harness.
options() {
  local name=$1
  # stdout closed: the library's own messages would fill the log.
  local opts=(-timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 "-artifact_prefix=$build/artifacts/$name-")
  case "$name" in
    *_document) opts+=("-dict=fuzz/xml.dict") ;;
  esac
  printf '%s\n' "${opts[@]}"
}

# Replays the corpus, then fuzzes for $seconds; one log per harness.
run_one() {
  local name=$1
  local exe="$build/fuzz/fuzz_$name"
  local log="$build/logs/$name.log"
  local opts
  mapfile -t opts < <(options "$name")
  if [ ! -x "$exe" ]; then
    echo "$name: no harness built" >"$log"
    return 1
  fi
  local work="$build/work/$name"
  mkdir -p "$work"
  {
    echo "== replay of fuzz/corpus/$name"
    "$exe" "${opts[@]}" -runs=0 "fuzz/corpus/$name" &&
      echo "== fuzzing for $seconds s" &&
      "$exe" "${opts[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work" "fuzz/corpus/$name"
  } >"$log" 2>&1
}
export -f run_one options
export build seconds

failed=()
printf '%s\n' "${names[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {} && echo "{}: passed" || { echo "{}: FAILED"; exit 1; }' \
  | tee "$build/logs/summary.txt" || true
for name in "${names[@]}"; do
  if ! grep -qx "$name: passed" "$build/logs/summary.txt"; then
    failed+=("$name")
    tally "fuzz harness $name" 0 1
    echo "---- $name (log $build/logs/$name.log)" >&2
    grep -E "ERROR|SUMMARY|runtime error|Test unit written|==[0-9]+==" "$build/logs/$name.log" | head -20 >&2 || true
    tail -30 "$build/logs/$name.log" >&2
  else
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$build/logs/$name.log" | grep -Eo '[0-9]+$' || echo "?")
    echo "$name: $runs inputs"
    tally "fuzz harness $name" 1 0
  fi
done
echo "fuzz stage took $(($(date +%s) - stage_start)) s (${#names[@]} harnesses, $seconds s each, $jobs at a time)"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}; inputs in $build/artifacts/" >&2
  exit 1
fi
