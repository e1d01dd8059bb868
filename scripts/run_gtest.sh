#!/bin/sh
# run_gtest.sh [--ctest] PROGRAM [ARGUMENT...]: runs a GoogleTest program
# as ctest and the test stages run one, and fails a run that ended before
# the program's tests did (a test that called exit, whatever the status, or
# a program that never ran them). GoogleTest removes the file that
# TEST_PREMATURE_EXIT_FILE names only once its tests have ended; the file
# is made here before the program starts, in a folder of this run's in the
# temporary folder, removed again however the program and this script
# ended. (Only a run killed together with this script, as ctest kills a
# test that ran out of time, leaves it: zpi_test_run.*.)
#
# It also fails a run that leaves a process running once the program has
# ended (a server or daemon a test did not stop, a child that holds the
# program's output), naming each, and ends them: the program runs under
# zpi_reaper (scripts/zpi_reaper.cpp, built beside the test programs),
# a child subreaper, to which every process the program started stays a
# descendant, whatever its session or parent, also one that dropped its
# environment. (A process of another user, when this script is not root,
# is named but cannot be ended.)
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
# is added to that file with the reason it gave (scripts/skip_reasons.awk);
# a run whose skips cannot be written there (a full folder) fails, saying
# so, rather than lose the reasons.
ctest=
[ "$1" != --ctest ] || { ctest=1 && shift; }
here=$(dirname "$0")
prog=$1
reaper=$(dirname "$prog")/zpi_reaper
if [ ! -x "$reaper" ]; then
  echo "$prog: no zpi_reaper beside it to run it under (it is built with the test programs)" >&2
  exit 1
fi

# Told to end (or its output closed), the run ends the program and what it
# started (zpi_reaper does), then itself, removing its folder once nothing
# writes there (the filter of the output, ended). (Its name holds this
# script's process number, so that the clean-up, set before it is made,
# finds it also when mktemp had not yet named it; the signals are ignored
# while it runs, by rm too: a run that ends a test step sends SIGTERM to
# each of its processes, also to those that start meanwhile.)
child=
filter=
tmp=${TMPDIR:-/tmp}
trap 'trap "" HUP INT TERM PIPE; [ -z "$child" ] || wait "$child"
  [ -z "$filter" ] || { kill "$filter" 2>/dev/null; wait "$filter"; }
  rm -rf "$tmp/zpi_test_run.$$."*' EXIT
trap '[ -z "$child" ] || kill -HUP "$child" 2>/dev/null; exit 129' HUP
trap '[ -z "$child" ] || kill -INT "$child" 2>/dev/null; exit 130' INT
trap '[ -z "$child" ] || kill -TERM "$child" 2>/dev/null; exit 143' TERM
trap 'exit 141' PIPE
run=$(mktemp -d "$tmp/zpi_test_run.$$.XXXXXX") || exit 1
case $run in /*) ;; *) run=$PWD/$run ;; esac
: >"$run/running" || exit 1
rc=0
# (A command started in the background reads /dev/null unless told
# otherwise: the program keeps this script's input.)
exec 3<&0
if [ -z "$ctest" ]; then
  TEST_PREMATURE_EXIT_FILE=$run/running "$reaper" "$@" <&3 3<&- &
  child=$!
  wait "$child" || rc=$?
  child=
else
  mkfifo "$run/out" || exit 1
  sed -u -e 'w '"$run/all" \
    -e '/^\[  FAILED  \] .* ([0-9]* ms)$/w '"$run/failed" \
    -e '/^\[  FAILED  \] [^ ]*: SetUpTestSuite or TearDownTestSuite$/w '"$run/failed" \
    -e '/^\[  SKIPPED \] /w '"$run/skipped" -e 's/^\[  SKIPPED \] /[  skipped ] /' <"$run/out" &
  filter=$!
  TEST_PREMATURE_EXIT_FILE=$run/running "$reaper" "$@" <&3 3<&- >"$run/out" &
  child=$!
  wait "$child" || rc=$?
  child=
  wait "$filter"
  filter=
fi
if [ -e "$run/running" ]; then
  echo "$1 ended before its tests did (status $rc)" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
if [ -n "$ctest" ]; then
  if [ -s "$run/failed" ]; then
    [ "$rc" -ne 0 ] || rc=1
  elif [ "$rc" -eq 0 ] && [ -s "$run/skipped" ]; then
    # (A skip whose reason cannot be written, as in a full folder, fails.)
    if [ -n "${ZPI_SKIP_LOG:-}" ] && ! awk -f "$here/skip_reasons.awk" "$run/all" >>"$ZPI_SKIP_LOG"; then
      echo "$1: its skipped tests and their reasons could not be written to $ZPI_SKIP_LOG (ZPI_SKIP_LOG)" >&2
      rc=1
    else
      echo "[  SKIPPED ] (above)"
    fi
  fi
fi
exit "$rc"
