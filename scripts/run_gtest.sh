#!/bin/sh
# run_gtest.sh [--ctest] PROGRAM [ARGUMENT...]: runs a GoogleTest program
# as ctest and the test stages run one, and fails a run that ended before
# the program's tests did (a test that called exit, whatever the status, or
# a program that never ran them). GoogleTest removes the file that
# TEST_PREMATURE_EXIT_FILE names only once its tests have ended; the file
# is made here before the program starts, in a folder of this run's in the
# temporary folder, removed again however the program ended. (Only a run
# killed together with this script, as ctest kills a test that ran out of
# time, leaves it: zpi_test_run.*.)
#
# It also fails a run that leaves a process running once the program has
# ended (a server or daemon a test did not stop, a child that holds the
# program's output), naming each, and ends them. The program runs with
# ZPI_TEST_RUN set to this run's folder; every process that inherited it
# is the run's (a daemon too, whatever its session or parent), found by
# its environment in /proc. (A process that drops its environment, or one
# whose environment this script may not read, is not seen: another user's
# when this script is not root, or is root without the capability to
# trace others' processes, as in many containers. Such a process that
# holds the output keeps a --ctest run until ctest's time limit.)
#
# --ctest: ctest marks a test skipped when its output holds "[  SKIPPED ]"
# (the pattern gtest_discover_tests sets), whatever its status, so a run
# that failed would read as skipped (a test suite whose set-up failed skips
# its tests). The program's output (GoogleTest writes its lines to the
# standard output) passes with those lines written "[  skipped ]", and one
# "[  SKIPPED ]" line follows only a run that passed. A run whose output
# reports a failed test (or test suite set-up) fails, whatever the
# program's status. The program's end is its process's end, not the end of
# its output: a process left holding the output is ended, and the output
# then ends. With ZPI_SKIP_LOG set, each skipped test of a run that passed
# is added to that file with the reason it gave (scripts/skip_reasons.awk).
ctest=
[ "$1" != --ctest ] || { ctest=1 && shift; }
here=$(dirname "$0")
run=$(mktemp -d --tmpdir zpi_test_run.XXXXXX) || exit 1
case $run in /*) ;; *) run=$PWD/$run ;; esac

# The processes still running that carry this run's mark, one id a line.
# (Processes that cannot be read are none of this run's or have ended.)
marked() {
  grep -lsxzF "ZPI_TEST_RUN=$run" /proc/[0-9]*/environ 2>/dev/null | sed 's,^/proc/\([0-9]*\)/environ$,\1,'
}
# Ends what the run left running; with "report", first names it (after
# giving what is already ending a moment to end) and fails the run.
end_left() {
  left=$(marked)
  [ -n "$left" ] || return 0
  if [ "$1" = report ]; then
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      sleep 0.2
      left=$(marked)
      [ -n "$left" ] || return 0
    done
    echo "$prog left $(echo "$left" | wc -l) process(es) running after it ended (ended now):" >&2
    for pid in $left; do
      echo "  $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
    done
    [ "$rc" -ne 0 ] || rc=1
  fi
  # Each only while it still carries the mark: one that ended since may
  # have given its number to a process of someone else's.
  for pid in $left; do
    grep -qsxzF "ZPI_TEST_RUN=$run" "/proc/$pid/environ" && kill -KILL "$pid" 2>/dev/null
  done
  return 0
}
prog=$1
trap 'end_left; rm -rf "$run"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
: >"$run/running" || exit 1
rc=0
# (A command started in the background reads /dev/null unless told
# otherwise: the program keeps this script's input.)
exec 3<&0
if [ -z "$ctest" ]; then
  ZPI_TEST_RUN=$run TEST_PREMATURE_EXIT_FILE=$run/running "$@" <&3 3<&- &
  wait $! || rc=$?
  end_left report
else
  mkfifo "$run/out" || exit 1
  sed -u -e 'w '"$run/all" \
    -e '/^\[  FAILED  \] .* ([0-9]* ms)$/w '"$run/failed" \
    -e '/^\[  FAILED  \] [^ ]*: SetUpTestSuite or TearDownTestSuite$/w '"$run/failed" \
    -e '/^\[  SKIPPED \] /w '"$run/skipped" -e 's/^\[  SKIPPED \] /[  skipped ] /' <"$run/out" &
  filter=$!
  ZPI_TEST_RUN=$run TEST_PREMATURE_EXIT_FILE=$run/running "$@" <&3 3<&- >"$run/out" &
  wait $! || rc=$?
  end_left report
  wait "$filter"
fi
if [ -e "$run/running" ]; then
  echo "$1 ended before its tests did (status $rc)" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
if [ -n "$ctest" ]; then
  if [ -s "$run/failed" ]; then
    [ "$rc" -ne 0 ] || rc=1
  elif [ "$rc" -eq 0 ] && [ -s "$run/skipped" ]; then
    echo "[  SKIPPED ] (above)"
    if [ -n "${ZPI_SKIP_LOG:-}" ]; then
      awk -f "$here/skip_reasons.awk" "$run/all" >>"$ZPI_SKIP_LOG"
    fi
  fi
fi
exit "$rc"
