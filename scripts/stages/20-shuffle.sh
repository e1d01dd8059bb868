#!/usr/bin/env bash
# Runs every test program of the sanitizer build once more in a shuffled
# order, twice over, so that a test which depends on what ran before it
# (or on running only once) fails here. Each program prints the number its
# random order started from ("Randomizing tests' orders with ..."); its
# --help tells how to give that number back to repeat the same order.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

build=$(realpath -m "${ASAN_BUILD_DIR:-build/asan}")
if ! ls "$build"/test_* >/dev/null 2>&1; then
  echo "no test programs in $build (run scripts/test.sh first)" >&2
  exit 1
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=()
for program in "$build"/test_*; do
  [ -x "$program" ] && [ -f "$program" ] || continue
  name=$(basename "$program")
  log=$(mktemp)
  start=$(date +%s)
  rc=0
  (cd "$build" && "$program" --gtest_shuffle --gtest_repeat=2 --gtest_brief=1) >"$log" 2>&1 || rc=$?
  tally_gtest "shuffled repeat of $name" "$log" "$rc"
  if [ "$rc" -eq 0 ]; then
    echo "$name: shuffled twice, passed ($(( $(date +%s) - start )) s)"
  else
    echo "$name: FAILED in a shuffled repeat; its output:" >&2
    grep -E "Randomizing|FAILED|ERROR|Failure|SUMMARY" "$log" | head -40 >&2 || true
    tail -40 "$log" >&2
    failed+=("$name")
  fi
  rm -f "$log"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "shuffled repeat failed: ${failed[*]}" >&2
  exit 1
fi
echo "shuffled repeat: every test program passed"
