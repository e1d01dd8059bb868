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
# --ctest: ctest marks a test skipped when its output holds "[  SKIPPED ]"
# (the pattern gtest_discover_tests sets), whatever its status, so a run
# that failed would read as skipped (a test suite whose set-up failed skips
# its tests). The program's output (GoogleTest writes its lines to the
# standard output) passes with those lines written "[  skipped ]", and one
# "[  SKIPPED ]" line follows only a run that passed. A run whose output
# reports a failed test (or test suite set-up) fails, whatever the
# program's status.
ctest=
[ "$1" != --ctest ] || { ctest=1 && shift; }
run=$(mktemp -d --tmpdir zpi_test_run.XXXXXX) || exit 1
case $run in /*) ;; *) run=$PWD/$run ;; esac
trap 'rm -rf "$run"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
: >"$run/running" || exit 1
rc=0
if [ -z "$ctest" ]; then
  TEST_PREMATURE_EXIT_FILE=$run/running "$@" || rc=$?
else
  { TEST_PREMATURE_EXIT_FILE=$run/running "$@"; echo $? >"$run/status"; } |
    sed -u -e '/^\[  FAILED  \] .* ([0-9]* ms)$/w '"$run/failed" \
      -e '/^\[  FAILED  \] [^ ]*: SetUpTestSuite or TearDownTestSuite$/w '"$run/failed" \
      -e '/^\[  SKIPPED \] /w '"$run/skipped" -e 's/^\[  SKIPPED \] /[  skipped ] /'
  rc=$(cat "$run/status" 2>/dev/null) || rc=1
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
  fi
fi
exit "$rc"
