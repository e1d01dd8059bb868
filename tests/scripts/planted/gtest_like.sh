# Sourced by the planted test programs beside it: what a GoogleTest
# program prints and does, for one test, Planted.Test, whose body is the
# shell function test_body (which skips the test by setting `skipped` to
# the reason). Understands --gtest_list_tests and --gtest_repeat=N.
# Each process a planted test leaves holds the file $ZPI_PLANTED/mark open
# (descriptor 9), by which the check finds it whatever it did to its
# environment.
if [ "$1" = --gtest_list_tests ]; then
  printf 'Planted.\n  Test\n'
  exit 0
fi
repeat=1
for arg in "$@"; do
  case $arg in --gtest_repeat=*) repeat=${arg#*=} ;; esac
done
round=0
while [ "$round" -lt "$repeat" ]; do
  round=$((round + 1))
  [ "$repeat" -eq 1 ] || printf '\nRepeating all tests (iteration %d) . . .\n\n' "$round"
  echo "[==========] Running 1 test from 1 test suite."
  echo "[ RUN      ] Planted.Test"
  skipped=
  test_body
  if [ -n "$skipped" ]; then
    printf 'planted.cpp:1: Skipped\n%s\n\n[  SKIPPED ] Planted.Test (0 ms)\n' "$skipped"
    printf '[==========] 1 test from 1 test suite ran. (0 ms total)\n[  PASSED  ] 0 tests.\n'
    printf '[  SKIPPED ] 1 test, listed below:\n[  SKIPPED ] Planted.Test\n'
  else
    echo "[       OK ] Planted.Test (0 ms)"
    printf '[==========] 1 test from 1 test suite ran. (0 ms total)\n[  PASSED  ] 1 test.\n'
  fi
done
rm -f "$TEST_PREMATURE_EXIT_FILE"
