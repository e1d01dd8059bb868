#!/usr/bin/env bash
# Runs every test program of the sanitizer build once more in a shuffled
# order, twice over, so that a test which depends on what ran before it
# (or on running only once) fails here. A program passes only when every
# round ran every test it lists and none failed, whatever its exit status
# (shuffled_run of scripts/common.sh). A failure is named with the round
# and the number its random order started from; a program that
# runs longer than SHUFFLE_TIMEOUT seconds (default 1200) is ended, naming
# the test it was in.
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
  start=$(date +%s)
  if shuffled_run "shuffled repeat of $name" "${SHUFFLE_TIMEOUT:-1200}" 2 "$program"; then
    echo "$name: shuffled twice, passed ($(( $(date +%s) - start )) s)"
  else
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "shuffled repeat failed: ${failed[*]}" >&2
  exit 1
fi
echo "shuffled repeat: every test program passed"
