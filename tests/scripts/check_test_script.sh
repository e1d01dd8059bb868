#!/usr/bin/env bash
# Checks scripts/test.sh (the CI run) on a scratch copy, with stand-in
# commands in place of the build:
#   tally     every step's counts are summed into one closing line
#             "N passed, M failed", also when a stage fails, and the run
#             then fails; a failing stage does not keep the later ones
#             from running.
#   not-root  run by someone other than root on a machine that lacks a
#             package, it names the package and how to install it, and
#             neither calls apt-get nor builds anything.
#   shuffled  shuffled_run (scripts/common.sh), on a stand-in test program:
#             a run passes only when every round ran every listed test and
#             none failed; one that reported a failure, ended half-way or
#             left a test out fails whatever its status, and the tally
#             counts the tests that ran.
#   ctest     scripts/run_gtest.sh as ctest runs a test: a run that failed
#             fails, whatever its status, and never reads as skipped.
set -euo pipefail
root=${1:?usage: check_test_script.sh <source root> tally|not-root|shuffled|ctest}
case=${2:?usage: check_test_script.sh <source root> tally|not-root|shuffled|ctest}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/repo/scripts/stages" "$work/bin"
cp "$root/scripts/test.sh" "$root/scripts/common.sh" "$work/repo/scripts/"

fail() {
  echo "FAILED: $*" >&2
  echo "--- the output of the run:" >&2
  cat "$work/out" >&2
  exit 1
}

stub() { # stub NAME BODY: a command on the stand-in PATH
  printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}

case $case in
tally)
  # cmake makes the build folder it is given; ctest passes 5 of 6.
  stub cmake 'while [ $# -gt 0 ]; do [ "$1" = -B ] && mkdir -p "$2"; shift; done; exit 0'
  stub ctest 'echo "83% tests passed, 1 tests failed out of 6"; exit 8'
  cat >"$work/repo/scripts/stages/10-counts.sh" <<'EOF'
source scripts/common.sh
tally "ten checks" 10 0
EOF
  cat >"$work/repo/scripts/stages/20-broken.sh" <<'EOF'
echo "stage 20 stops early"
exit 3
EOF
  cat >"$work/repo/scripts/stages/30-after.sh" <<'EOF'
source scripts/common.sh
tally "two checks" 2 0
EOF
  rc=0
  PATH="$work/bin:$PATH" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run passed although a stage failed"
  [ "$(tail -n 1 "$work/out")" = "17 passed, 2 failed" ] ||
    fail "the last line is not the sum of the steps (5 + 10 + 2 passed, 1 + 1 failed)"
  grep -q "two checks: 2 passed, 0 failed" "$work/out" || fail "the stage after the failing one did not run"
  grep -q "stage 20-broken.sh: 0 passed, 1 failed" "$work/out" || fail "the failing stage is not named"
  ;;
not-root)
  # Every command of the machine but cmake; id says "not root"; apt-get
  # leaves a mark when called.
  for dir in /usr/local/bin /usr/bin /bin; do
    for cmd in "$dir"/*; do
      name=${cmd##*/}
      [ "$name" = cmake ] || [ -e "$work/bin/$name" ] || ln -s "$cmd" "$work/bin/$name"
    done
  done
  rm -f "$work/bin/id" "$work/bin/apt-get" "$work/bin/sudo"
  stub id '[ "$1" = -u ] && { echo 1000; exit 0; }; exec /usr/bin/id "$@"'
  stub apt-get "touch '$work/apt-called'; exit 100"
  rc=0
  PATH="$work/bin" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run went on without cmake"
  [ ! -e "$work/apt-called" ] || fail "apt-get was called by someone who is not root"
  grep -q "missing packages:.* cmake" "$work/out" || fail "the missing package is not named"
  grep -q "apt-get install .*cmake" "$work/out" || fail "the message does not say how to install it"
  [ ! -e "$work/repo/build" ] || fail "a build was started"
  ;;
shuffled)
  # Lists A.One and A.Two (and disabled tests, which do not run); each
  # round runs them as $MODE says: "pass", "failed" (A.Two fails, status 0
  # all the same), "short" (A.Two left out), "setup" (A.Two skipped as
  # its suite's set-up failed, status 0) or "exit" (ends after A.One
  # failed, status 0); "none" lists and runs no test, as under a filter
  # that matches none. GoogleTest's mark of a run that ended half-way is
  # removed at the end only.
  cat >"$work/bin/test_standin" <<'STANDIN'
#!/bin/sh
if [ "$1" = --gtest_list_tests ]; then
  [ "$MODE" = none ] || printf 'A.\n  One\n  Two\n  DISABLED_Three/0  # GetParam() = 0\nP/DISABLED_B.\n  Four\n'
  exit 0
fi
for round in $(seq "${2#--gtest_repeat=}"); do
  echo "Repeating all tests (iteration $round) . . ."
  if [ "$MODE" = none ]; then
    echo "[==========] 0 tests from 0 test suites ran. (0 ms total)"
    echo "[  PASSED  ] 0 tests."
    continue
  fi
  echo "[ RUN      ] A.One"
  if [ "$MODE" = exit ]; then echo "[  FAILED  ] A.One (0 ms)"; exit 0; fi
  echo "[       OK ] A.One (0 ms)"
  case $MODE in
  short) ran=1 passed=1 ;;
  failed) echo "[ RUN      ] A.Two"; echo "[  FAILED  ] A.Two (0 ms)"; ran=2 passed=1 ;;
  setup) echo "[  SKIPPED ] A.Two (0 ms)"; ran=2 passed=1 ;;
  *) echo "[ RUN      ] A.Two"; echo "[       OK ] A.Two (0 ms)"; ran=2 passed=2 ;;
  esac
  echo "[==========] $ran tests from 1 test suite ran. (0 ms total)"
  echo "[  PASSED  ] $passed tests."
  if [ "$MODE" = setup ]; then
    echo "[  SKIPPED ] 1 test, listed below:"
    echo "[  FAILED  ] A: SetUpTestSuite or TearDownTestSuite"
  fi
done
rm -f "$TEST_PREMATURE_EXIT_FILE"
STANDIN
  chmod +x "$work/bin/test_standin"
  # Each mode: the tally it gets (passed, failed), and whether it passes.
  for run in "pass 4 0 pass" "failed 2 2 fail" "short 2 1 fail" "setup 2 1 fail" "exit 0 1 fail" "none 0 1 fail"; do
    read -r mode passed failed outcome <<<"$run"
    rc=0
    (
      export ZPI_TALLY="$work/tally.$mode" MODE=$mode
      source "$root/scripts/common.sh"
      shuffled_run "$mode" 60 2 "$work/bin/test_standin"
    ) >"$work/out" 2>&1 || rc=$?
    [ "$([ "$rc" -eq 0 ] && echo pass || echo fail)" = "$outcome" ] || fail "a $mode run did not $outcome"
    [ "$(cut -f 2,3 "$work/tally.$mode")" = "$passed	$failed" ] ||
      fail "a $mode run is counted $(cut -f 2,3 "$work/tally.$mode"), not $passed $failed"
    cp "$work/out" "$work/out.$mode"
  done
  grep -q "ended after 0 of its 2 rounds" "$work/out.exit" || fail "the run that ended half-way does not say so"
  grep -q "lists no test to run" "$work/out.none" || fail "the run of no test does not say so"
  grep -q "failed: the set-up or tear-down of A (round 2" "$work/out.setup" ||
    fail "the suite whose set-up failed is not named"
  ;;
ctest)
  # A stand-in program prints $LINES and ends with $STATUS, having removed
  # GoogleTest's mark unless it ended half-way ($HALF). Each case: lines,
  # status, half-way or not, the status run_gtest.sh ends with, and
  # whether ctest reads it as skipped (its output holds "[  SKIPPED ]").
  stub test_once 'printf "$LINES"; [ -n "$HALF" ] || rm -f "$TEST_PREMATURE_EXIT_FILE"; exit "$STATUS"'
  while IFS='|' read -r lines status half want skipped; do
    rc=0
    LINES=$lines STATUS=$status HALF=$half sh "$root/scripts/run_gtest.sh" --ctest "$work/bin/test_once" \
      >"$work/out" 2>&1 || rc=$?
    [ "$rc" -eq "$want" ] || fail "'$lines' (status $status${half:+, half-way}) ended with $rc, not $want"
    [ "$(grep -c '^\[  SKIPPED \]' "$work/out")" = "$skipped" ] ||
      fail "'$lines' (status $status): \"[  SKIPPED ]\" is not said $skipped times"
  done <<'CASES'
[       OK ] A.One (0 ms)\n|0||0|0
[  SKIPPED ] A.One (0 ms)\n|0||0|1
[  SKIPPED ] A.One (0 ms)\n[  FAILED  ] A: SetUpTestSuite or TearDownTestSuite\n|1||1|0
[  SKIPPED ] A.One (0 ms)\n[  FAILED  ] A: SetUpTestSuite or TearDownTestSuite\n|0||1|0
[  FAILED  ] A.One (0 ms)\n|0||1|0
[       OK ] A.One (0 ms)\n|0|half|1|0
[  SKIPPED ] A.One (0 ms)\n|0|half|1|0
CASES
  ;;
*)
  echo "unknown case $case" >&2
  exit 2
  ;;
esac
echo "ok: $case"
