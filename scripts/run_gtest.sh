#!/bin/sh
# run_gtest.sh PROGRAM [ARGUMENT...]: runs a GoogleTest program as ctest
# and the test stages run one, and fails a run that ended before the
# program's tests did (a test that called exit, whatever the status, or a
# program that never ran them). GoogleTest removes the file that
# TEST_PREMATURE_EXIT_FILE names only once its tests have ended; the file
# is made here before the program starts.
mark=$(mktemp) || exit 1
case $mark in /*) ;; *) mark=$PWD/$mark ;; esac
trap 'rm -f "$mark"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
rc=0
TEST_PREMATURE_EXIT_FILE=$mark "$@" || rc=$?
if [ -e "$mark" ]; then
  echo "$1 ended before its tests did (status $rc)" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
exit "$rc"
