#!/usr/bin/env bash
# Checks scripts/test.sh (the CI run) on a scratch copy, with stand-in
# commands in place of the build:
#   tally     every step's counts are summed into one closing line
#             "N passed, M failed, S skipped", also when a stage fails, and
#             the run then fails (ctest's counts read also when a test's
#             output holds a nul); a failing stage does not keep the later
#             ones from running; a skipped test is counted apart, and named
#             with its reason; what a stage left in its temporary folder
#             (the run's own, "zpi steps ü.*") is named and counts as a
#             failure; a relative TMPDIR is the folder named from where the
#             run was started. A run whose temporary folder (TMPDIR) does
#             not exist ends with its tally too, naming the folder.
#             plain_build's flags reach the compiler through sh whole
#             under C, from a checkout whose path holds "ü".
#   not-root  run by someone other than root on a machine that lacks a
#             package, it names the package and how to install it, and
#             neither calls apt-get nor builds anything; it ends with its
#             tally.
#   lock      run as root while another process holds the package
#             manager's lock, it waits for the lock and goes on, saying so
#             while apt-get itself still waits; held past
#             ZPI_PACKAGE_LOCK_WAIT, the run ends with its tally and why;
#             a lock file it may not open, or another failure, is not
#             waited for.
#   shuffled  shuffled_run (scripts/common.sh), on a stand-in test program:
#             a run passes only when every round ran every listed test and
#             none failed; one that reported a failure, ended half-way or
#             left a test out fails whatever its status, and the tally
#             counts the tests that ran.
#   ctest     scripts/run_gtest.sh as ctest runs a test: a run that failed
#             fails, whatever its status, and never reads as skipped.
#   planted   the planted programs of tests/scripts/planted (one leaves a
#             daemon, one a child holding its output, one processes that
#             dropped their environment, one a process that forks and ends
#             over and over and one whose first thread ended, one skips)
#             are reported as such by ctest (through scripts/run_gtest.sh),
#             shuffled_run and the stress stage alike, and nothing they
#             started is left running; nor is it when this check fails.
#   locale    the stress stage gives a program whose tests' ctest seconds
#             have decimals the same limits and tally under C and under a
#             decimal-comma locale, and its tests run under the locale given.
#   lanes     the stress stage's burners end with their lane, while another
#             lane still runs.
#   full      a run whose temporary folder (TMPDIR) is full (a small tmpfs,
#             filled, in a private mount namespace: files can be made there,
#             nothing written) ends with its tally, naming the folder and
#             why. One that a stage fills half-way: the next stage says at
#             once that its counts could not be written, naming the folder
#             and why; it frees the room and ends with status 0, and the
#             run does not pass, naming it.
#   signal    SIGTERM or SIGINT to the run, while a stage runs that started
#             processes (in its process group, in a session of its own, one
#             that ignores SIGTERM), its temporary folder's name holding a
#             line break: the run ends the stage and all it started (the
#             stage's own traps run), then ends with its tally, the stage's
#             counts in it, and the reason, and the temporary folder is
#             left empty; with ZPI_STOP_WAIT=0 what ignores SIGTERM is
#             killed at once, and SIGTERM came first all the same (the
#             status of a process of the stage, watched from outside it).
#             SIGTERM while ctest runs tests through scripts/run_gtest.sh
#             leaves nothing of the step in the temporary folder. A stage
#             writes to a terminal that stops other groups' writers (stty
#             tostop); a signal to the run's group while the tally is
#             printed leaves it whole and the run's files removed, also
#             after a command of the run failed, and so does one while the
#             run makes its files; a ZPI_STOP_WAIT that is no whole number
#             is refused.
#   names     the readers of names give under tr_TR.UTF-8 (where grep and
#             sed's "[A-Za-z]" does not match "i") what they give under C:
#             ninja's targets as 30-tsan.sh and 55-bench.sh read them, and
#             the functions that the installed headers declare exported as
#             scripts/abi.sh reads them.
# The cases that run a program through scripts/run_gtest.sh are given the
# build's zpi_reaper, which the program must have beside it.
set -euo pipefail
usage="usage: check_test_script.sh <source root> tally|not-root|lock|shuffled|ctest|planted|locale|lanes|full|signal|names [<zpi_reaper>]"
root=${1:?$usage}
case=${2:?$usage}
reaper=${3:-}
skip_log=${ZPI_SKIP_LOG:-}
# (Not those of a run this one is part of.)
unset ZPI_TALLY ZPI_SKIPS ZPI_SKIP_LOG

work=$(mktemp -d)
# The processes that hold open a file whose path starts with $1.
# (Read from each thread: a process whose first thread has ended shows its
# files there only.)
holding() {
  { find /proc/[0-9]*/task/[0-9]*/fd -maxdepth 1 -type l -printf '%p\t%l\n' 2>/dev/null || true; } |
    prefix=$1 awk -F '\t' 'index($2, ENVIRON["prefix"]) == 1 { split($1, p, "/"); print p[3] }' | sort -u
}
# What this check started that still runs: every process a planted program
# leaves holds $work/mark open (whatever it did to its environment), and
# the rest carries ZPI_PLANTED=$work. However the check ends, it ends them.
ours() {
  {
    holding "$work/mark"
    grep -lsxzF "ZPI_PLANTED=$work" /proc/[0-9]*/environ | cut -d / -f 3 || true
  } | sort -u
}
end_ours() {
  local pids
  mapfile -t pids < <(ours)
  [ ${#pids[@]} -eq 0 ] || kill -KILL "${pids[@]}" 2>/dev/null || true
}
trap 'end_ours; rm -rf "$work"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir -p "$work/repo/scripts/stages" "$work/bin"
cp "$root/scripts/test.sh" "$root/scripts/common.sh" "$work/repo/scripts/"

fail() {
  echo "FAILED: $*" >&2
  echo "--- the output of the run:" >&2
  cat "$work/out" >&2
  exit 1
}

# zpi_reaper beside the programs of the folder $1.
beside() {
  [ -x "$reaper" ] || { echo "$usage: the case $case needs zpi_reaper" >&2; exit 2; }
  cp "$reaper" "$1/"
}

# Skips the case, saying why (status 77).
skip() {
  echo "skipped: $1"
  [ -z "$skip_log" ] || printf 'test_script_%s\t%s\n' "$case" "$1" >>"$skip_log"
  exit 77
}

stub() { # stub NAME BODY: a command on the stand-in PATH ($work is set there)
  printf "#!/bin/sh\nwork='%s'\n%s\n" "${work//\'/\'\\\'\'}" "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}

# Every command of the machine on the stand-in PATH but those named.
machine_but() {
  local dir cmd name
  for dir in /usr/local/bin /usr/bin /bin; do
    for cmd in "$dir"/*; do
      name=${cmd##*/}
      [[ " $* " == *" $name "* ]] || [ -e "$work/bin/$name" ] || ln -s "$cmd" "$work/bin/$name"
    done
  done
}

case $case in
tally)
  # cmake makes the build folder it is given; of ctest's 6 tests 4 pass,
  # 1 fails (its output holds a nul, which makes grep take the log for
  # binary) and 1 skips (ctest counts it passed), saying why as
  # scripts/run_gtest.sh does.
  stub cmake 'while [ $# -gt 0 ]; do [ "$1" = -B ] && mkdir -p "$2"; shift; done; exit 0'
  stub ctest 'printf "A.Skip\tno small file system\n" >>"$ZPI_SKIP_LOG"
printf "A.Fails wrote \\0 into its output\n"
echo "83% tests passed, 1 tests failed out of 6"
printf "The following tests did not run:\n\t  3 - A.Skip (Skipped)\n"; exit 8'
  cat >"$work/repo/scripts/stages/10-counts.sh" <<'EOF'
source scripts/common.sh
tally "ten checks" 10 0
EOF
  cat >"$work/repo/scripts/stages/20-broken.sh" <<'EOF'
echo "stage 20 stops early"
: >"$TMPDIR/left behind"
exit 3
EOF
  # (It finds the sanitizer build, given by its full path, and its
  # temporary folder by its full path in the one given, a relative one
  # named from where the run was started.)
  cat >"$work/repo/scripts/stages/30-after.sh" <<'EOF'
source scripts/common.sh
[ "$ASAN_BUILD_DIR" = "$WANT_BUILD" ] && [[ $TMPDIR == "$WANT_TMP/zpi steps"* ]] && tally "two checks" 2 0
EOF
  mkdir "$work/tmp"
  rc=0
  (cd "$work" && TMPDIR=tmp BUILD_DIR="$work/asan build" WANT_BUILD="$work/asan build" WANT_TMP="$work/tmp" \
    PATH="$work/bin:$PATH" bash repo/scripts/test.sh) >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run passed although a stage failed"
  [ "$(tail -n 1 "$work/out")" = "16 passed, 3 failed, 1 skipped" ] ||
    fail "the last line is not the sum of the steps (4 + 10 + 2 passed, 1 + 1 + 1 failed, 1 skipped)"
  grep -q "two checks: 2 passed, 0 failed" "$work/out" || fail "the stage after the failing one did not run"
  grep -q "stage 20-broken.sh: 0 passed, 1 failed" "$work/out" || fail "the failing stage is not named"
  grep -qE '^the step "stage 20-broken.sh" left in its temporary folder \(.*/zpi steps ü\.[^/]*\): left behind$' "$work/out" &&
    grep -q "stage 20-broken.sh: its temporary folder left empty: 0 passed, 1 failed" "$work/out" ||
    fail "what a stage left in its temporary folder is not named, or not counted"
  grep -q "A.Skip: no small file system (AddressSanitizer tests)" "$work/out" || fail "the skip is not named with its reason"
  [ -z "$(ls -A "$work/tmp")" ] || fail "left in the temporary folder: $(ls -A "$work/tmp")"
  # A temporary folder that does not exist: the run ends with its tally,
  # naming it.
  rc=0
  TMPDIR="$work/no such folder" PATH="$work/bin:$PATH" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run passed without a temporary folder"
  grep -qF "the run stopped: before anything ran: no file can be made in the temporary folder $work/no such folder (TMPDIR)" \
    "$work/out" || fail "the reason does not name the temporary folder"
  [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed, 0 skipped" ] || fail "the run does not end with its tally"
  # A command of the run's own steps that fails (the tally file gone, as
  # a stage removed it): the run ends with its tally (what ran before:
  # the sanitizer build's ctest run, and the one failure) and that command.
  rm "$work/repo/scripts/stages/"*
  printf 'rm "$ZPI_TALLY"\n' >"$work/repo/scripts/stages/10-loses.sh"
  printf 'exit 0\n' >"$work/repo/scripts/stages/20-after.sh"
  rc=0
  PATH="$work/bin:$PATH" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run passed although a command of it failed"
  grep -qE '^the run stopped: the command at line [0-9]+ failed \(status [0-9]+\): lines=\$\(cat "\$ZPI_TALLY"\)$' "$work/out" ||
    fail "the reason is not the command that failed"
  [ "$(tail -n 1 "$work/out")" = "4 passed, 2 failed, 1 skipped" ] || fail "the run does not end with its tally"
  # The flags of plain_build (the install stage's, scripts/abi.sh's) reach
  # the compiler through sh whole under C, from a checkout whose path holds
  # a blank, an apostrophe and "ü".
  checkout="$work/a b'ü"
  mkdir "$checkout"
  stub cmake 'for a; do case $a in -DCMAKE_CXX_FLAGS=*) printf "%s" "${a#*=}" >"$ZPI_PLANTED/flags" ;; esac; done'
  (cd "$checkout" && LC_ALL=C ZPI_PLANTED=$work PATH="$work/bin:$PATH" bash -c 'source "$1"; plain_build build zpi50' _ \
    "$root/scripts/common.sh") >"$work/out" 2>&1 || fail "plain_build failed"
  [ "$(sh -c "printf '%s|' $(cat "$work/flags")")" = "-g|-fdebug-prefix-map=$checkout/=|" ] ||
    fail "sh reads the flags of plain_build otherwise: $(cat "$work/flags")"
  ;;
not-root)
  # Every command of the machine but cmake; id says "not root"; apt-get
  # leaves a mark when called.
  machine_but cmake id apt-get sudo
  stub id '[ "$1" = -u ] && { echo 1000; exit 0; }; exec /usr/bin/id "$@"'
  stub apt-get "touch \"\$work/apt-called\"; exit 100"
  rc=0
  PATH="$work/bin" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run went on without cmake"
  [ ! -e "$work/apt-called" ] || fail "apt-get was called by someone who is not root"
  grep -q "missing packages:.* cmake" "$work/out" || fail "the missing package is not named"
  grep -q "apt-get install .*cmake" "$work/out" || fail "the message does not say how to install it"
  [ ! -e "$work/repo/build" ] || fail "a build was started"
  grep -q "packages: 0 passed, 1 failed" "$work/out" || fail "the package step is not in the tally"
  grep -q "the run stopped: before building: missing packages" "$work/out" || fail "the reason is not given"
  [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed, 0 skipped" ] || fail "the run does not end with its tally"
  ;;
lock)
  # As root (so id says), on a machine without cmake and ctest. apt-get
  # fails as it does while another process holds the lock (here: while the
  # file "held" is there); once it is free, "installing" cmake puts
  # stand-ins for cmake and ctest (5 tests pass) on the PATH.
  machine_but cmake ctest id apt-get sudo locale
  stub id '[ "$1" = -u ] && { echo 0; exit 0; }; exec /usr/bin/id "$@"'
  stub locale 'echo de_DE.utf8; echo tr_TR.utf8'
  stub apt-get "echo \"\$2\" >>\"\$work/apt-timeouts\"
if [ -e \"\$work/waits\" ]; then
  echo 'Waiting for cache lock: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)...'
  while [ -e \"\$work/waits\" ]; do sleep 0.1; done
fi
if [ -e \"\$work/denied\" ]; then
  echo 'E: Could not open lock file /var/lib/dpkg/lock-frontend - open (30: Read-only file system)' >&2
  echo 'E: Unable to acquire the dpkg frontend lock (/var/lib/dpkg/lock-frontend), are you root?' >&2; exit 100
fi
if [ -e \"\$work/unknown\" ]; then
  echo 'Waiting for cache lock: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)...'
  echo 'E: Unable to locate package cmake' >&2; exit 100
fi
if [ -e \"\$work/held\" ]; then
  echo 'Waiting for cache lock: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)...'
  echo 'E: Unable to acquire the dpkg frontend lock (/var/lib/dpkg/lock-frontend), is another process using it?' >&2; exit 100
fi
echo \"\$*\" >>\"\$work/apt-calls\"
case \"\$*\" in *' install '*cmake*) ;; *) exit 0 ;; esac
printf '#!/bin/sh\\nwhile [ \$# -gt 0 ]; do [ \"\$1\" = -B ] && mkdir -p \"\$2\"; shift; done\\n' >\"\$work/bin/cmake\"
printf '#!/bin/sh\\necho \"100%% tests passed, 0 tests failed out of 5\"\\n' >\"\$work/bin/ctest\"
chmod +x \"\$work/bin/cmake\" \"\$work/bin/ctest\""
  # Held for a while: the run waits, then goes on.
  touch "$work/held"
  (sleep "${LOCK_HELD:-4}"; rm -f "$work/held") &
  rc=0
  ZPI_PACKAGE_LOCK_WAIT=60 ZPI_PACKAGE_LOCK_POLL=1 PATH="$work/bin" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  wait
  [ "$rc" -eq 0 ] || fail "the run did not go on once the lock was free"
  grep -q "lock is held by another process; waiting for it" "$work/out" || fail "the run does not say it waits for the lock"
  grep -q "install -y --no-install-recommends cmake" "$work/apt-calls" || fail "cmake was not installed"
  [ "$(tail -n 1 "$work/out")" = "5 passed, 0 failed, 0 skipped" ] || fail "the run did not end with its tally"
  # Held while apt-get itself waits for it (the stand-in waits while the
  # file "waits" is there): the run says so while the lock is held, which
  # this check waits for (30 s at most) before it frees the lock.
  rm -rf "$work/bin/cmake" "$work/bin/ctest" "$work/apt-calls" "$work/repo/build"
  touch "$work/waits"
  ZPI_PACKAGE_LOCK_WAIT=60 PATH="$work/bin" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 &
  run=$!
  for _ in $(seq 300); do
    ! grep -q "lock is held by another process; waiting for it" "$work/out" || break
    sleep 0.1
  done
  said=$(grep -c "lock is held by another process; waiting for it" "$work/out" || true)
  rm -f "$work/waits"
  rc=0
  wait "$run" || rc=$?
  [ "$said" -gt 0 ] || fail "the run did not say it waits while apt-get waited for the lock"
  [ "$rc" -eq 0 ] || fail "the run did not go on once the lock was free"
  [ "$(tail -n 1 "$work/out")" = "5 passed, 0 failed, 0 skipped" ] || fail "the run did not end with its tally"
  # Held past the bound: the run ends with its tally and the reason; the
  # last try is given no negative time (apt-get's "wait for ever").
  rm -rf "$work/bin/cmake" "$work/bin/ctest" "$work/apt-calls" "$work/repo/build"
  touch "$work/held"
  rc=0
  ZPI_PACKAGE_LOCK_WAIT=3 ZPI_PACKAGE_LOCK_POLL=2 PATH="$work/bin" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  ! grep -q 'Timeout=-' "$work/apt-timeouts" || fail "apt-get was given a negative lock time: $(tr '\n' ' ' <"$work/apt-timeouts")"
  [ "$rc" -ne 0 ] || fail "the run passed without its packages"
  [ ! -e "$work/repo/build" ] || fail "a build was started"
  grep -q "packages: 0 passed, 1 failed" "$work/out" || fail "the package step is not in the tally"
  grep -q "the run stopped: before building: the package manager's lock was held by another process for more than 3 s" \
    "$work/out" || fail "the reason is not given"
  [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed, 0 skipped" ] || fail "the run does not end with its tally"
  # A lock file that cannot be opened is no lock another process holds,
  # nor is a failure after apt-get waited for the lock: the run does not
  # wait, and ends with apt-get's reason.
  rm -f "$work/held"
  for failure in "denied Read-only file system" "unknown Unable to locate package"; do
    read -r mark reason <<<"$failure"
    touch "$work/$mark"
    : >"$work/apt-timeouts"
    rc=0
    start=$SECONDS
    ZPI_PACKAGE_LOCK_WAIT=60 ZPI_PACKAGE_LOCK_POLL=1 PATH="$work/bin" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
    rm -f "$work/$mark"
    [ "$rc" -ne 0 ] || fail "the run passed without its packages"
    # (apt-get that waited for the lock, then failed otherwise, is said to
    # have waited: it did.)
    [ $((SECONDS - start)) -lt 20 ] && [ "$(wc -l <"$work/apt-timeouts")" -eq 1 ] &&
      { [ "$mark" = unknown ] || ! grep -q "waiting for it" "$work/out"; } ||
      fail "the run waited for the lock when apt-get failed otherwise ($reason)"
    grep -q "$reason" "$work/out" || fail "apt-get's reason is not shown"
    [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed, 0 skipped" ] || fail "the run does not end with its tally"
  done
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
  beside "$work/bin"
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
  # status, half-way or not, the status run_gtest.sh ends with, whether
  # ctest reads it as skipped (its output holds "[  SKIPPED ]"), and the
  # list of skips it is given (ZPI_SKIP_LOG; /dev/full: as in a full
  # folder, where the reason would be lost).
  stub test_once 'printf "$LINES"; [ -n "$HALF" ] || rm -f "$TEST_PREMATURE_EXIT_FILE"; exit "$STATUS"'
  beside "$work/bin"
  while IFS='|' read -r lines status half want skipped log; do
    rc=0
    LINES=$lines STATUS=$status HALF=$half ZPI_SKIP_LOG=$log sh "$root/scripts/run_gtest.sh" --ctest "$work/bin/test_once" \
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
[  SKIPPED ] A.One (0 ms)\n|0||1|0|/dev/full
CASES
  ;;
planted)
  # The planted programs, with zpi_reaper beside them as in a build, and
  # test_slips_away's thread_stays.
  planted=$work/programs
  mkdir "$planted"
  cp "$root"/tests/scripts/planted/* "$planted/"
  beside "$planted"
  c++ -pthread -x c++ -o "$planted/thread_stays" - <<'SOURCE'
#include <pthread.h>
#include <unistd.h>
static void* stay(void*) { pause(); return nullptr; }
int main() { pthread_t t; pthread_create(&t, nullptr, stay, nullptr); pthread_exit(nullptr); }
SOURCE
  leaving="test_leaves_daemon test_leaves_child test_drops_env test_slips_away"
  names="$leaving test_skips"
  export ZPI_TALLY=$work/tally ZPI_SKIPS=$work/skips
  source "$root/scripts/common.sh"
  # What each route counts for each program (passed, failed, skipped), and
  # what it says; none of what they started may be left (ours).
  counted() { # counted WHAT PASSED FAILED SKIPPED
    [ "$(grep -F "$1	" "$work/tally" | cut -f 2-4)" = "$2	$3	$4" ] ||
      fail "$1 is counted $(grep -F "$1	" "$work/tally" | cut -f 2-4 | tr '\t' ' '), not $2 $3 $4"
  }
  # That the program NAME left its processes of ROUNDS rounds running, as
  # the run says (test_drops_env's four a round: in its session and in one
  # of their own, holding the output and not; test_slips_away's two, or
  # more: what forks over and over is named each time it was seen).
  left_said() { # left_said NAME ROUNDS
    local want n
    case $1 in test_drops_env) want=4 ;; test_slips_away) want=2 ;; *) want=1 ;; esac
    want=$((want * $2))
    # (The folder matched as text: its name may hold what a pattern reads.)
    n=$({ grep -F "$planted/$1 left " "$work/out" || true; } |
      sed -nE 's|.* left ([0-9]+) process\(es\) running after it ended \(ended now\):$|\1|p' | tail -n 1)
    case $1 in test_slips_away) [ "${n:-0}" -ge "$want" ] ;; *) [ "${n:-0}" -eq "$want" ] ;; esac ||
      fail "the run does not say that $1 left $want process(es) running${n:+ (it says $n)}"
  }
  # ctest, running each program as the test programs' emulator does.
  mkdir "$work/ctest"
  for name in $names; do
    echo "add_test($name sh [==[$root/scripts/run_gtest.sh]==] --ctest [==[$planted/$name]==])"
    echo "set_tests_properties($name PROPERTIES SKIP_REGULAR_EXPRESSION [==[\[  SKIPPED \]]==] TIMEOUT 60)"
  done >"$work/ctest/CTestTestfile.cmake"
  start=$SECONDS
  ! ZPI_PLANTED=$work run_ctest "ctest" "$work/ctest" >"$work/out" 2>&1 || fail "ctest passed"
  [ $((SECONDS - start)) -lt 30 ] || fail "ctest waited for the process that holds the output"
  counted ctest 0 4 1
  for name in $leaving; do
    left_said "$name" 1
  done
  # shuffled_run, twice each.
  for name in $names; do
    ZPI_PLANTED=$work shuffled_run "shuffled $name" 60 2 "$planted/$name" >>"$work/out" 2>&1 || true
  done
  for name in $leaving; do
    counted "shuffled $name" 2 1 0
    left_said "$name" 2
  done
  counted "shuffled test_skips" 0 0 2
  # The stress stage, on one lane, with the planted programs as both builds.
  ! ZPI_PLANTED=$work ASAN_BUILD_DIR=$planted TSAN_BUILD_DIR=$planted STRESS_LANES=1 STRESS_REPEAT=2 \
    bash "$root/scripts/stages/60-stress.sh" >"$work/out" 2>&1 || fail "the stress stage passed"
  for name in $leaving; do
    counted "stressed $name (ThreadSanitizer)" 2 1 0
    left_said "$name" 2
  done
  counted "stressed test_skips (ThreadSanitizer)" 0 0 2
  # Each route names the skip with its reason.
  for what in ctest "shuffled test_skips" "stressed test_skips (ThreadSanitizer)"; do
    grep -qxF "$what	Planted.Test	the planted test skips" "$work/skips" || fail "$what does not name the skip and its reason"
  done
  left=$(ours)
  [ -z "$left" ] || fail "processes left running: ${left//$'\n'/ }"
  # (What forks over and over is not found reading /proc, but its session
  # is, by signalling it.)
  while read -r session; do
    ! kill -0 -- "-$session" 2>/dev/null || fail "the session $session that test_slips_away left still runs"
  done <"$work/sessions"
  # This check, on a tree whose runner fails each program and ends nothing
  # it left: the check fails, and what it planted is ended all the same.
  fake=$work/fake
  mkdir -p "$fake/tests/scripts" "$work/inner"
  cp -r "$root/scripts" "$fake/"
  cp -r "$root/tests/scripts/planted" "$fake/tests/scripts/"
  printf '#!/bin/sh\n[ "$1" != --ctest ] || shift\n"$@" >/dev/null 2>&1\nexit 1\n' >"$fake/scripts/run_gtest.sh"
  ! TMPDIR=$work/inner bash "$0" "$fake" planted "$reaper" >"$work/out" 2>&1 ||
    fail "the check passed with a runner that ends nothing"
  # (What forks over and over ends at its next fork once its mark is gone.)
  for _ in $(seq 50); do
    mapfile -t stray < <(holding "$work/inner/")
    [ ${#stray[@]} -ne 0 ] || break
    sleep 0.1
  done
  [ ${#stray[@]} -eq 0 ] || {
    kill -KILL "${stray[@]}" 2>/dev/null || true
    fail "the check failed and left what it planted running: ${stray[*]}"
  }
  ;;
locale)
  # A program whose tests' ctest seconds have decimals (17.3569 and 9.5:
  # 5 x 27 + 60 = 195 s a round and 10 x 18 + 60 = 240 s without output),
  # stressed under C and under a decimal-comma locale. Its test passes
  # only under the locale the stage was given (else it skips).
  comma=de_DE.UTF-8
  if [ "$(LC_ALL=$comma locale decimal_point 2>/dev/null)" != , ] && [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 "$comma" >/dev/null 2>&1 || true
  fi
  [ "$(LC_ALL=$comma locale decimal_point 2>/dev/null)" = , ] ||
    skip "no decimal-comma locale ($comma), and it cannot be made here (as root: localedef -i de_DE -f UTF-8 $comma)"
  build=$work/build
  mkdir -p "$build/Testing/Temporary"
  cp "$root/tests/scripts/planted/gtest_like.sh" "$build/"
  beside "$build"
  cat >"$build/test_costed" <<'PROGRAM'
#!/bin/sh
test_body() { [ "${LC_ALL-}" = "$WANT_LC_ALL" ] || skipped="run under LC_ALL=${LC_ALL-}, not $WANT_LC_ALL"; }
. "$(dirname "$0")/gtest_like.sh"
PROGRAM
  chmod +x "$build/test_costed"
  printf 'add_test([=[Planted.Test]=] x)\nadd_test([=[Planted.Other]=] x)\n' >"$build/test_costed[1]_tests.cmake"
  printf 'Planted.Test 3 17.3569\nPlanted.Other 1 9.5\n---\n' >"$build/Testing/Temporary/CTestCostData.txt"
  for locale in C "$comma"; do
    rc=0
    LC_ALL=$locale WANT_LC_ALL=$locale ZPI_TALLY=$work/tally ZPI_PLANTED=$work ASAN_BUILD_DIR=$build TSAN_BUILD_DIR=$build \
      STRESS_LANES=1 STRESS_REPEAT=1 bash "$root/scripts/stages/60-stress.sh" >"$work/out" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || fail "the stress stage failed under LC_ALL=$locale"
    grep -q '^stressed test_costed (ThreadSanitizer): .* passed (.*; limits 195 s, 240 s without output)$' "$work/out" ||
      fail "under LC_ALL=$locale the limits are not 195 s a round and 240 s without output"
    [ "$(tr '\t' ' ' <"$work/tally")" = "stressed test_costed (ThreadSanitizer) 1 0 0" ] ||
      fail "under LC_ALL=$locale the tally is: $(tr '\t' ' ' <"$work/tally")"
    rm "$work/tally"
  done
  ;;
lanes)
  # Two lanes: test_lane_long runs until both lanes' burners run, then
  # until test_lane_short (which waits for that) has passed in the other
  # lane, which then has no job left and ends, and only its own lane's two
  # burners are left (else it writes nothing for STRESS_TIMEOUT seconds
  # and fails).
  [ "$(nproc)" -ge 4 ] || skip "two lanes need four cores, and this may use $(nproc)"
  build=$work/build
  mkdir "$build"
  cp "$root/tests/scripts/planted/gtest_like.sh" "$build/"
  beside "$build"
  cat >"$build/test_lane_long" <<'PROGRAM'
#!/bin/sh
# The stress stage's burners (of this check's run) that are running.
burners() {
  for environ in $(grep -lsxzF "ZPI_PLANTED=$ZPI_PLANTED" /proc/[0-9]*/environ); do
    [ "$(tr '\0' ' ' <"${environ%/environ}/cmdline" 2>/dev/null)" != "sh -c while :; do :; done " ] || echo
  done | wc -l
}
test_body() {
  until [ "$(burners)" -eq 4 ]; do sleep 0.1; done
  touch "$ZPI_PLANTED/both"
  until [ "$(burners)" -eq 2 ]; do sleep 0.1; done
}
. "$(dirname "$0")/gtest_like.sh"
PROGRAM
  cat >"$build/test_lane_short" <<'PROGRAM'
#!/bin/sh
test_body() { until [ -e "$ZPI_PLANTED/both" ]; do sleep 0.1; done; }
. "$(dirname "$0")/gtest_like.sh"
PROGRAM
  chmod +x "$build/test_lane_long" "$build/test_lane_short"
  rc=0
  ZPI_TALLY=$work/tally ZPI_PLANTED=$work ASAN_BUILD_DIR=$build TSAN_BUILD_DIR=$build \
    STRESS_LANES=2 STRESS_REPEAT=1 STRESS_TIMEOUT=40 bash "$root/scripts/stages/60-stress.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] || fail "the burners of a lane that ended did not end with it"
  [ "$(cut -f 2-4 "$work/tally" | tr '\t\n' '  ')" = "1 0 0 1 0 0 " ] || fail "the tally is: $(tr '\t' ' ' <"$work/tally")"
  ;;
full)
  # A tmpfs of 16 KiB, filled, in a mount namespace of this check's own
  # (as root; else in a user namespace of its own, where one may mount).
  full=$work/full
  mkdir "$full"
  how=
  for option in -m -rm; do
    if unshare "$option" mount -t tmpfs -o size=16k zpi_full "$full" 2>"$work/out"; then
      how=$option
      break
    fi
  done
  [ -n "$how" ] ||
    skip "no tmpfs can be mounted in a private mount namespace here (unshare -m, unshare -rm): $(tail -n 1 "$work/out")"
  stub cmake 'while [ $# -gt 0 ]; do [ "$1" = -B ] && mkdir -p "$2"; shift; done; exit 0'
  stub ctest 'echo "100% tests passed, 0 tests failed out of 5"'
  rc=0
  unshare "$how" bash -c 'mount -t tmpfs -o size=16k zpi_full "$1" || exit 90
    head -c 1M /dev/zero >"$1/filler" 2>/dev/null
    # (Files can be made there, nothing written: else this is no full folder.)
    : >"$1/empty" && ! { printf x >"$1/empty"; } 2>/dev/null || exit 91
    rm "$1/empty"
    TMPDIR=$1 PATH=$2 LC_ALL=C exec bash "$3"' _ "$full" "$work/bin:$PATH" "$work/repo/scripts/test.sh" >"$work/out" 2>&1 ||
    rc=$?
  [ "$rc" -ne 90 ] || fail "no tmpfs could be mounted"
  [ "$rc" -ne 91 ] || fail "the tmpfs of 16 KiB did not fill"
  [ "$rc" -ne 0 ] || fail "the run passed in a full temporary folder"
  grep -qF "the run stopped: before anything ran: nothing can be written in the temporary folder $full (TMPDIR): No space left on device" \
    "$work/out" || fail "the reason does not name the full temporary folder and why"
  [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed, 0 skipped" ] || fail "the run does not end with its tally"
  # A folder that fills half-way: a stage fills it, the next cannot write
  # its counts, says so then, frees the room and ends with status 0: the
  # run does not pass, and names the step.
  printf 'head -c 1M /dev/zero >"$ZPI_FULL/filler" 2>/dev/null\nexit 0\n' >"$work/repo/scripts/stages/10-fills.sh"
  printf 'source scripts/common.sh\ntally "three checks" 3 0\nrm "$ZPI_FULL/filler"\nexit 0\n' \
    >"$work/repo/scripts/stages/20-counts.sh"
  rc=0
  unshare "$how" bash -c 'mount -t tmpfs -o size=16k zpi_full "$1" || exit 90
    ZPI_FULL=$1 TMPDIR=$1 PATH=$2 LC_ALL=C exec bash "$3"' _ "$full" "$work/bin:$PATH" "$work/repo/scripts/test.sh" \
    >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run passed although a stage could not write its counts"
  grep -qF "the counts of \"three checks\" (3 passed, 0 failed, 0 skipped) could not be written to the run's tally in the temporary folder $full: No space left on device" \
    "$work/out" || fail "the stage does not say when its counts could not be written, naming the folder and why"
  grep -qF "the step \"stage 20-counts.sh\" could not write all its counts in the temporary folder $full (TMPDIR)" \
    "$work/out" || fail "the run does not name the step whose counts are missing"
  [ "$(tail -n 1 "$work/out")" = "5 passed, 1 failed, 0 skipped" ] || fail "the run does not end with its tally"
  ;;
signal)
  # The stage counts 3 checks, starts its processes, says so and waits. Its
  # processes carry ZPI_PLANTED=$work (ours), and one ignores SIGTERM: the
  # run may end it after ZPI_STOP_WAIT seconds.
  # (ctest is the machine's where a test list is, below.)
  stub cmake 'while [ $# -gt 0 ]; do [ "$1" = -B ] && mkdir -p "$2"; shift; done; exit 0'
  stub ctest "[ ! -e CTestTestfile.cmake ] || exec $(command -v ctest) \"\$@\"
echo '100% tests passed, 0 tests failed out of 5'"
  cat >"$work/repo/scripts/stages/10-long.sh" <<'EOF'
source scripts/common.sh
tally "before the signal" 3 0
trap ': >"$ZPI_PLANTED/cleaned"' EXIT
sleep 1000 &
setsid sleep 1000 &
# (Ignores SIGTERM. Unless ZPI_STOP_WAIT=0 it ends once the trap above
# ran: the run then has nothing to kill, and waits for the trap.)
sh -c 'trap "" TERM; while [ "$ZPI_STOP_WAIT" = 0 ] || [ ! -e "$ZPI_PLANTED/cleaned" ]; do sleep 0.1; done' &
# A process of the step that ends as SIGTERM or SIGKILL comes, watched by
# one that is no part of the step (a session of its own, without the
# step's mark), which writes how it ended: the kernel fixes that when the
# first of the two is sent, however late the process runs again.
setsid env -u ZPI_RUN_STEP -u ZPI_PLANTED sh -c 'ZPI_RUN_STEP=$1 ZPI_PLANTED=$2 sh -c ": >\"\$ZPI_PLANTED/watched\"; exec sleep 1000" &
  wait $!; echo $? >"$2/how"' _ "$ZPI_RUN_STEP" "$ZPI_PLANTED" &
until [ -e "$ZPI_PLANTED/watched" ]; do sleep 0.1; done
touch "$ZPI_PLANTED/started"
wait
EOF
  # (A temporary folder whose name holds a line break: the mark is found
  # all the same. The run leaves nothing in it.) With ZPI_STOP_WAIT=0, the
  # process that ignores SIGTERM is killed at once, and SIGTERM came first
  # all the same; otherwise nothing is left to kill once the stage's trap
  # ran, and the run waits for that (30 s at most).
  tmp="$work/tmp"$'\n'"folder"
  mkdir "$tmp"
  for run in "TERM 30" "INT 30" "TERM 0"; do
    read -r signal stop_wait <<<"$run"
    rm -f "$work/started" "$work/cleaned" "$work/watched" "$work/how"
    # (With 0, the run cannot read the command line of what it kills, as
    # when each ended between the run's look and its naming: it kills the
    # rest all the same.)
    [ "$stop_wait" != 0 ] || stub tr "case \$1 in '\\0') exit 1 ;; esac; exec $(command -v tr) \"\$@\""
    # (With job control, so that the run does not start with SIGINT
    # ignored, as a command started in the background would.)
    set -m
    ZPI_PLANTED=$work ZPI_STOP_WAIT=$stop_wait TMPDIR=$tmp PATH="$work/bin:$PATH" \
      bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 &
    run=$!
    set +m
    for _ in $(seq 300); do
      [ ! -e "$work/started" ] || break
      sleep 0.1
    done
    [ -e "$work/started" ] || fail "the stage did not start"
    kill -"$signal" "$run"
    rc=0
    wait "$run" || rc=$?
    left=$(ours)
    [ -z "$left" ] || fail "SIG$signal: the stage's processes still run: ${left//$'\n'/ }"
    for _ in $(seq 300); do
      [ ! -e "$work/how" ] || break
      sleep 0.1
    done
    [ "$(cat "$work/how" 2>/dev/null)" = 143 ] ||
      fail "SIG$signal, ZPI_STOP_WAIT=$stop_wait: SIGTERM did not come first (status $(cat "$work/how" 2>/dev/null))"
    if [ "$stop_wait" = 0 ]; then
      grep -q "^still running 0 s after SIGTERM (ZPI_STOP_WAIT), killed:" "$work/out" ||
        fail "ZPI_STOP_WAIT=0: what ignored SIGTERM is not named killed"
    else
      [ -e "$work/cleaned" ] || fail "SIG$signal: the stage's own trap did not run"
      ! grep -q "still running" "$work/out" || fail "SIG$signal: a process was killed"
    fi
    [ -z "$(ls -A "$tmp")" ] || fail "SIG$signal: left in the temporary folder: $(ls -A "$tmp")"
    want=$([ "$signal" = TERM ] && echo 143 || echo 130)
    [ "$rc" -eq "$want" ] || fail "SIG$signal: the run ended with status $rc, not $want"
    grep -q "before the signal: 3 passed, 0 failed" "$work/out" || fail "SIG$signal: the stage's counts are not in the tally"
    grep -q "^the run stopped: it was ended by SIG$signal" "$work/out" || fail "SIG$signal: the reason is not given"
    [ "$(tail -n 1 "$work/out")" = "8 passed, 1 failed, 0 skipped" ] || fail "SIG$signal: the run does not end with its tally"
  done
  rm "$work/bin/tr"
  # SIGTERM while ctest runs tests (each waits once it started) through
  # scripts/run_gtest.sh: nothing of the step is left in the temporary
  # folder (ctest's output and skips, the tests' run folders), and the run
  # says of nothing that the step left it.
  mkdir "$work/ctest" "$work/programs"
  printf '#!/bin/sh\n: >"$ZPI_PLANTED/started.$$"\nexec sleep 1000\n' >"$work/programs/test_waits"
  chmod +x "$work/programs/test_waits"
  beside "$work/programs"
  for n in 1 2; do
    echo "add_test(waits$n sh [==[$root/scripts/run_gtest.sh]==] --ctest [==[$work/programs/test_waits]==])"
  done >"$work/ctest/CTestTestfile.cmake"
  printf 'source scripts/common.sh\nrun_ctest "waiting tests" "$ZPI_PLANTED/ctest"\n' >"$work/repo/scripts/stages/10-long.sh"
  set -m
  ZPI_PLANTED=$work TMPDIR=$tmp PATH="$work/bin:$PATH" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 &
  run=$!
  set +m
  # (As many run at once as there are cores.)
  want=$(($(nproc) < 2 ? 1 : 2))
  for _ in $(seq 300); do
    [ "$(find "$work" -maxdepth 1 -name 'started.*' | wc -l)" -lt "$want" ] || break
    sleep 0.1
  done
  [ "$(find "$work" -maxdepth 1 -name 'started.*' | wc -l)" -ge "$want" ] || fail "the tests did not start"
  kill -TERM "$run"
  rc=0
  wait "$run" || rc=$?
  left=$(ours)
  [ -z "$left" ] || fail "ctest step: processes still run: ${left//$'\n'/ }"
  [ "$rc" -eq 143 ] || fail "ctest step: the run ended with status $rc, not 143"
  [ -z "$(ls -A "$tmp")" ] || fail "ctest step: left in the temporary folder: $(ls -A "$tmp")"
  ! grep -q "left in its temporary folder" "$work/out" || fail "ctest step: the step left files in its temporary folder"
  grep -q "^the run stopped: it was ended by SIGTERM during the step \"stage 10-long.sh\"" "$work/out" ||
    fail "ctest step: the reason is not given"
  # A stage that writes, on a terminal that stops the writers of a process
  # group other than its own (stty tostop): the run ends all the same.
  printf 'source scripts/common.sh\necho "the stage writes"\ntally "written" 1 0\n' >"$work/repo/scripts/stages/10-long.sh"
  # (script(1) gives it a terminal; where none can be had, that is said.)
  if ! script -qec true /dev/null >"$work/out" 2>&1; then
    echo "not checked: a terminal with stty tostop (script(1) makes none here: $(tail -n 1 "$work/out"))"
  else
    rc=0
    ZPI_PLANTED=$work ZPI_RUN="$work/repo/scripts/test.sh" PATH="$work/bin:$PATH" \
      timeout -k 5 30 script -qec 'stty tostop; exec bash "$ZPI_RUN"' /dev/null >"$work/out" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || fail "on a terminal with stty tostop the run ended with status $rc"
    [ "$(tr -d '\r' <"$work/out" | tail -n 1)" = "6 passed, 0 failed, 0 skipped" ] || fail "stty tostop: no tally"
  fi
  # A signal to the run's process group (as a CI runner sends it) while the
  # tally is printed (here: by the awk that prints its lines) leaves it
  # whole and the run's files removed, at the run's end as after a command
  # of it failed (a stage removed the tally file; the status is then 1).
  # So does one while the run makes its files (here: the steps' folder),
  # before its traps were set; the run ends with its tally then too.
  stub awk "case \"\$*\" in *'%s: %d passed'*) kill -TERM 0 ;; esac; exec $(command -v awk) \"\$@\""
  for run in "0|written: 1 passed|6 passed, 0 failed|tally written 1 0" \
    "1|AddressSanitizer tests: 5 passed|5 passed, 1 failed|rm \"\$ZPI_TALLY\"" \
    "143|the run to its end: 0 passed|0 passed, 1 failed|:"; do
    IFS='|' read -r want line sum code <<<"$run"
    printf 'source scripts/common.sh\n%s\n' "$code" >"$work/repo/scripts/stages/10-long.sh"
    [ "$want" != 143 ] || stub mktemp "case \"\$*\" in *'zpi steps'*) trap '' TERM; kill -TERM 0 ;; esac
exec $(command -v mktemp) \"\$@\""
    set -m
    TMPDIR=$tmp PATH="$work/bin:$PATH" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 &
    run=$!
    set +m
    rc=0
    wait "$run" || rc=$?
    [ "$rc" -eq "$want" ] && grep -q "^  $line" "$work/out" && [ "$(tail -n 1 "$work/out")" = "$sum, 0 skipped" ] ||
      fail "a signal while the tally was printed (or the run made its files) cut it short (status $rc)"
    [ -z "$(ls -A "$tmp")" ] || fail "a signal to the run (status $rc) left in the temporary folder: $(ls -A "$tmp")"
  done
  grep -q "^the run stopped: it was ended by SIGTERM$" "$work/out" || fail "a signal before the run made its files: no reason"
  rm "$work/bin/awk" "$work/bin/mktemp"
  # A wait that is no whole number of seconds is refused before anything
  # runs: the run could not end a step with it.
  rc=0
  ZPI_STOP_WAIT=1.5 PATH="$work/bin:$PATH" bash "$work/repo/scripts/test.sh" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "the run took ZPI_STOP_WAIT=1.5"
  grep -qF "the run stopped: before anything ran: ZPI_STOP_WAIT=1.5 is no whole number of seconds" "$work/out" ||
    fail "ZPI_STOP_WAIT=1.5: the reason is not given"
  [ "$(tail -n 1 "$work/out")" = "0 passed, 1 failed, 0 skipped" ] || fail "ZPI_STOP_WAIT=1.5: no tally"
  ;;
names)
  turkish=tr_TR.UTF-8
  if [ "$(LC_ALL=$turkish locale charmap 2>/dev/null)" != UTF-8 ] && [ "$(id -u)" -eq 0 ]; then
    localedef -i tr_TR -f UTF-8 "$turkish" >/dev/null 2>&1 || true
  fi
  [ "$(LC_ALL=$turkish locale charmap 2>/dev/null)" = UTF-8 ] ||
    skip "no locale $turkish, and it cannot be made here (as root: localedef -i tr_TR -f UTF-8 $turkish)"
  # Each reader: what it reads, and what it gives under C.
  printf '%s\n' 'test_api: CXX_EXECUTABLE_LINKER__test_api_Debug' 'bench_file_io: phony' \
    'test_client: CXX_EXECUTABLE_LINKER__test_client_Debug' 'bench_zpi_write: CXX_EXECUTABLE_LINKER__bench_zpi_write_Release' \
    'tests/api/test_api.cpp.o: CXX_COMPILER__test_api_Debug' 'zpi50: phony' >"$work/targets"
  printf '%s\n' 'class EXPORTED KPICurve_i { public: EXPORTED virtual ~KPICurve_i(); EXPORTED bool isObjKindOf(xobject* o); };' \
    'EXPORTED KWPISession* KGetPISession(); EXPORTED xstring& operator+=(xstring& a, const char* b); EXPORTED int zpi_init(int);' \
    >"$work/header"
  readers=(
    "30-tsan.sh|source scripts/common.sh; target_names test|targets|test_api;test_client"
    "55-bench.sh|source scripts/common.sh; target_names bench|targets|bench_file_io;bench_zpi_write"
    "scripts/abi.sh|source scripts/abi.sh; exported_functions|header|function KGetPISession;function KPICurve_i;function isObjKindOf;function operator+=;function zpi_init"
  )
  : >"$work/out"
  for reader in "${readers[@]}"; do
    IFS='|' read -r what code input want <<<"$reader"
    for locale in C "$turkish"; do
      got=$(cd "$root" && LC_ALL=$locale bash -c "set -euo pipefail; $code" <"$work/$input" | paste -sd ';')
      echo "$what under LC_ALL=$locale: $got" >>"$work/out"
      [ "$got" = "$want" ] || fail "the reader of names of $what under LC_ALL=$locale does not give: $want"
    done
  done
  ;;
*)
  echo "unknown case $case" >&2
  exit 2
  ;;
esac
echo "ok: $case"
