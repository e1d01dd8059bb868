# Shared by scripts/test.sh and the stages of scripts/stages/ (sourced).
#
# The scripts read and print numbers (CTest's decimal seconds, counts) with
# awk and sort under LC_ALL=C, so that a run's limits and tally are the same
# in every locale: under a decimal-comma locale awk would cut "17.3569" at
# its point and compare it as text. They read names (targets, symbols,
# functions) under LC_ALL=C too: under a locale that orders letters
# otherwise (tr_TR.UTF-8) grep and sed's "[A-Za-z]" does not match "i".
# The tests keep the run's locale.
#
# need_packages PKG...   installs the Debian packages named (apt-get) when
#   run as root; anyone else is told which packages are missing and how to
#   install them, and the call fails (nothing is run that would meet apt's
#   lock). While another process (another run, the package jobs a machine
#   runs at boot) holds the package manager's lock, apt-get is tried again
#   until ZPI_PACKAGE_LOCK_WAIT seconds (default 600) have passed since the
#   first try, saying so as soon as apt-get says it waits; then the call
#   fails. When the call fails, the variable package_failure says why.
# need_clang RUNTIME     adds to the array `need` what a clang build that
#   links clang's runtime library RUNTIME ("asan", "fuzzer") lacks: clang,
#   its runtimes, cmake, ninja and Xerces-C.
# plain_build BUILD TARGET...   configures BUILD as the installed libraries
#   are built (Release; no sanitizer, test switches, tests or benchmarks),
#   with debug information whose paths are relative to the repository (the
#   description of the binary interface, scripts/abi.sh, reads class layouts
#   from it and is then the same from any checkout), and builds TARGETs.
# target_names PREFIX       the targets named PREFIX_... of the build, one a
#   line, read from ninja's list of targets (ninja -t targets all) on the
#   standard input.
# tally WHAT PASSED FAILED [SKIPPED]   adds one line of counts to the run's
#   tally file (ZPI_TALLY, set by scripts/test.sh); without it, a stage run
#   on its own, nothing is recorded. A skipped test counts as skipped only,
#   neither passed nor failed. When the line cannot be written (a full
#   temporary folder), it says so at once on standard error, with the
#   counts, the folder and why, leaves the run the mark ZPI_TALLY.lost (the
#   run then counts the step as failed, whatever its status) and fails.
# skips WHAT                 the skipped tests of WHAT, read as "<test>\t<reason>"
#   lines (scripts/skip_reasons.awk), go to the run's list of skips
#   (ZPI_SKIPS, set by scripts/test.sh), or are shown when there is none;
#   lines that cannot be written are told and marked as tally's are.
# on_exit [COMMAND]          runs COMMAND, a clean-up, when the script (or the
#   subshell) ends, however it ends: at its end, by exit or an error, or
#   told to end (SIGINT, SIGTERM, SIGHUP, a closed output: bash runs it
#   then too), and removes its scratch files. Those signals are ignored
#   while it runs, by what it starts too: a run that ends a step sends
#   SIGTERM to each process of it, also to those that start meanwhile, and
#   would cut the clean-up short.
# scratch [-d]               makes a file (-d: a folder) in the temporary
#   folder for the shell that called on_exit, and prints its path; its
#   clean-up removes each (their names hold the shell's process number), also
#   one that mktemp made and had not named yet when the shell was ended.
# run_ctest WHAT BUILD [RUNNER...]   runs ctest in the folder BUILD (under
#   RUNNER, if given), as many tests at once as there are cores, showing its
#   output, and adds its counts (tally_ctest) and skips to the run's; fails
#   when ctest did, or when they could not be written. Its files (ctest's
#   output, the skips) are removed however it ends.
# tally_ctest WHAT LOG       the counts of a ctest run, read from its output
#   (passed, failed, and skipped apart: ctest counts a skipped test among
#   those that passed); each test that ran out of its time limit is named.
# tally_gtest WHAT LOG STATUS  the counts of a GoogleTest program's run
#   (every repeat), read from its output: the tests that ran, each counted
#   when it ended, also when the program did not reach its end, the skipped
#   ones apart; a program that ended with a nonzero STATUS and reported no
#   failed test (it crashed, left a process running, or printed no result)
#   counts one failure more.
# gtest_report LOG [LISTED REPEAT]   from a GoogleTest program's output
#   (shuffled, repeated or not): one line per failed test with its round
#   and the number its shuffled order started from, and the test it was in
#   when its output ended (it crashed, or was ended for running out of
#   time). Given the number of tests the program lists (LISTED) and of
#   rounds (REPEAT), also each round that did not run them all, or did not
#   say that each passed, and rounds that did not end; and each test suite
#   whose set-up or tear-down failed. Nothing for a run that is sound.
# gtest_listed PROGRAM [RUNNER...]  the number of tests PROGRAM lists
#   (--gtest_list_tests, under GTEST_FILTER if set; not the disabled ones
#   unless GTEST_ALSO_RUN_DISABLED_TESTS is), run in its folder under
#   RUNNER; fails when it cannot list them.
# shuffled_run WHAT LIMIT REPEAT PROGRAM [RUNNER...]   runs the GoogleTest
#   program PROGRAM in its folder with its tests shuffled, REPEAT rounds,
#   under the command RUNNER (taskset, setarch; none by default) and
#   scripts/run_gtest.sh, ended after LIMIT seconds. The run passes only
#   when the program ended with status 0 after every round ran every test
#   it lists, and each passed (gtest_report says nothing): a program that
#   ended half-way, or reported a failed test, fails whatever its status;
#   so does one that lists no test (GTEST_FILTER matching none): nothing
#   was shown to pass.
#   Adds its counts to the tally as WHAT; when it fails, says what failed
#   (gtest_report), in which round and from which order number, shows the
#   first failed test's output and the end of the program's, and fails.
#   With SHUFFLED_RUN_IDLE set, a program that writes nothing for that
#   many seconds (a test that hangs) is ended then, naming the test it was
#   in. (SHUFFLED_RUN_PID: below.)
# ctest_costs BUILD PROGRAM  the seconds that the last ctest run in BUILD
#   took for the tests of the test program PROGRAM (its name) that passed:
#   "SUM LONGEST", whole seconds rounded up; nothing when ctest has not
#   run them there.
# tsan_runner BUILD          sets the array `tsan_run` to what a program of
#   the ThreadSanitizer build BUILD runs under: nothing, or, on a kernel
#   that places mappings where this runtime does not expect them ("unexpected
#   memory mapping"), setarch with address randomisation off. Fails, saying
#   why, when its programs do not run at all.

need_clang() {
  command -v clang++ >/dev/null || need+=(clang)
  command -v cmake >/dev/null || need+=(cmake)
  command -v ninja >/dev/null || need+=(ninja-build)
  [ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
  if ! command -v clang++ >/dev/null ||
    [ ! -f "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.$1-x86_64.a" ]; then
    need+=(libclang-rt-dev)
  fi
}

need_packages() {
  [ $# -gt 0 ] || return 0
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt_waiting update && apt_waiting install -y --no-install-recommends "$@" || {
      package_failure=${package_failure:-"apt-get could not install $*"}
      return 1
    }
    return
  fi
  echo "$(basename "$0"): missing packages: $*" >&2
  echo "install them as root, then run this again:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends $*" >&2
  package_failure="missing packages (not root, nothing installed): $*"
  return 1
}

# apt-get ARGUMENT..., tried again while another process holds the package
# manager's lock (apt-get waits for dpkg's lock itself, for the time left,
# but not for that of its package lists), until ZPI_PACKAGE_LOCK_WAIT
# seconds have passed since the first try. Only a lock that another
# process holds is waited for: a lock file that cannot be opened (not
# allowed, a read-only file system) or any other failure, also one after
# apt-get waited for the lock, fails at once. (Its output is held in a
# variable, not a file: a step told to end leaves nothing behind.)
apt_waiting() {
  local wait=${ZPI_PACKAGE_LOCK_WAIT:-600} start=$SECONDS out rc holder left quiet said= line
  while :; do
    # (apt-get waits for ever when given a negative time.)
    left=$((wait - (SECONDS - start)))
    [ "$left" -ge 0 ] || left=0
    # (Its messages untranslated, to be read here. Each line is shown as
    # it comes, so that a wait is said while it lasts; once the wait was
    # said, a try is shown only when it did not end on the lock. Of the
    # lines that name the lock (apt-get writes one a second while it
    # waits) only the first is shown, followed by the word that the run
    # waits.)
    quiet=$said
    out=
    while IFS= read -r line || [ -n "$line" ]; do
      out+=$line$'\n'
      [ -z "$quiet" ] || continue
      if [[ $line =~ ^(Waiting\ for\ cache\ lock|E:\ Could\ not\ get\ lock|E:\ Unable\ to\ acquire\ the\ dpkg\ frontend\ lock\ .*is\ another\ process\ using\ it) ]]; then
        [ -z "$said" ] || continue
        printf '%s\n' "$line"
        echo "the package manager's lock is held by another process; waiting for it, $wait s at most (ZPI_PACKAGE_LOCK_WAIT)"
        said=1
      else
        printf '%s\n' "$line"
      fi
    done < <(LC_ALL=C exec apt-get -o "DPkg::Lock::Timeout=$left" "$@" 2>&1)
    rc=0
    wait "$!" || rc=$?
    holder=
    # (Only its errors: the lines it writes while it waits name the lock
    # too. Once its own wait is over it says only that the lock is used.)
    [ "$rc" -eq 0 ] || holder=$(grep -E '^E: (Could not get lock|Unable to acquire the dpkg frontend lock .*is another process using it)' <<<"$out" | head -n 1)
    [ -z "$quiet" ] || [ -n "$holder" ] || printf '%s' "$out"
    [ -n "$holder" ] || break
    if [ $((SECONDS - start)) -ge "$wait" ]; then
      package_failure="the package manager's lock was held by another process for more than $wait s (ZPI_PACKAGE_LOCK_WAIT): ${holder#E: }"
      echo "$package_failure" >&2
      break
    fi
    sleep "${ZPI_PACKAGE_LOCK_POLL:-5}"
  done
  [ -z "$said" ] || [ -n "$holder" ] || echo "the package manager's lock is free after $((SECONDS - start)) s"
  return "$rc"
}

plain_build() {
  local build=$1 map
  shift
  # (The flags reach the compiler through sh: a checkout whose path holds
  # a blank is quoted, in single quotes, as sh reads them in every locale;
  # bash's %q writes a character outside ASCII as $'\ooo' under C.)
  map="-fdebug-prefix-map=$PWD/="
  map="'${map//\'/\'\\\'\'}'"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZPI_SANITIZE=OFF \
    -DZPI_TEST_HOOKS=OFF -DZPI_TESTS=OFF -DZPI_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-g $map" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target "$@"
}

target_names() {
  LC_ALL=C sed -n "s/^\($1_[A-Za-z0-9_]*\): .*/\1/p"
}

tally() {
  [ -n "${ZPI_TALLY:-}" ] || return 0
  local why
  why=$({ printf '%s\t%d\t%d\t%d\n' "$1" "$2" "$3" "${4:-0}" >>"$ZPI_TALLY"; } 2>&1) && return 0
  unwritten "the counts of \"$1\" ($2 passed, $3 failed, ${4:-0} skipped)" "$why"
}

skips() {
  local lines why
  if [ -z "${ZPI_SKIPS:-}" ]; then
    awk -F '\t' -v what="$1" 'NF { print what ": skipped " $1 ": " $2 }'
    return
  fi
  lines=$(awk -F '\t' -v what="$1" 'NF { print what "\t" $0 }')
  [ -n "$lines" ] || return 0
  why=$({ printf '%s\n' "$lines" >>"$ZPI_SKIPS"; } 2>&1) && return 0
  unwritten "the skipped tests of \"$1\" ($(wc -l <<<"$lines"))" "$why"
}

# Says at once that WHAT could not be written to the run's tally, naming
# the folder and why (WHY, the shell's message), marks it for the run
# (ZPI_TALLY.lost: an empty file, which a full folder still takes; the run
# then counts the step as failed, whatever its status), and fails.
unwritten() {
  echo "$1 could not be written to the run's tally in the temporary folder ${ZPI_TALLY%/*}: ${2##*: }" >&2
  { : >"$ZPI_TALLY.lost"; } 2>/dev/null || true
  return 1
}

on_exit() {
  zpi_scratch=${TMPDIR:-/tmp}/zpi_scratch.$BASHPID
  trap "trap '' INT TERM HUP PIPE; ${1:-:}; rm -rf \"\$zpi_scratch\".*" EXIT
}

scratch() {
  mktemp "$@" "$zpi_scratch.XXXXXX"
}

run_ctest() {
  # (A shell of its own, whose clean-up runs however it ends.)
  (
    what=$1 build=$2 rc=0
    shift 2
    on_exit
    log=$(scratch)
    : >"$log.skips"
    (cd "$build" && ZPI_SKIP_LOG=$log.skips "$@" ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$log" || rc=$?
    tally_ctest "$what" "$log" || rc=1
    sort -u "$log.skips" | skips "$what" || rc=1
    exit "$rc"
  )
}

tally_ctest() {
  local line total failed skipped
  # (-a: a test's output may hold a nul, for which grep would take the log
  # for binary and give no line.)
  line=$(grep -aE '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$2" | tail -n 1)
  if [ -z "$line" ]; then
    tally "$1" 0 1
    return
  fi
  failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  skipped=$(grep -acE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$2" || true)
  sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(Timeout\)$/\1/p' "$2" | while read -r name; do
    echo "ran out of its time limit: $name" >&2
  done
  tally "$1" $((total - failed - skipped)) "$failed" "$skipped"
}

tally_gtest() {
  local passed failed skipped
  passed=$(grep -c '^\[       OK \] .* ([0-9]* ms)$' "$2" || true)
  failed=$(grep -c '^\[  FAILED  \] .* ([0-9]* ms)$' "$2" || true)
  skipped=$(grep -c '^\[  SKIPPED \] .* ([0-9]* ms)$' "$2" || true)
  if [ "${3:-0}" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
  fi
  tally "$1" "$passed" "$failed" "$skipped"
}

gtest_report() {
  LC_ALL=C awk -v listed="${2:-}" -v repeat="${3:-}" '
    function where() { return " (round " (round ? round : 1) (order != "" ? ", order " order : "") ")" }
    # A round that ended: it ran every listed test, and said each passed
    # or was skipped.
    function close_round() {
      if (ran == "")
        return
      if (listed != "" && ran != listed)
        print "ran " ran " of the " listed " tests it lists" where()
      else if (passed + skipped != ran && !failures)
        print "said " passed " of its " ran " tests passed and " skipped " were skipped" where()
      ran = ""; passed = skipped = failures = 0
    }
    /^Repeating all tests \(iteration [0-9]+\)/ { close_round(); round = $5 + 0 }
    /^Note: Randomizing tests. orders with a / { order = $(NF - 1) }
    /^\[ RUN      \] / { running = $4; next }
    /^\[       OK \] / || /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ { running = ""; next }
    /^\[  FAILED  \] .* \([0-9]+ ms\)$/ {
      name = $4; sub(/,$/, "", name); print "failed: " name where(); running = ""; failures++
    }
    # A test suite whose set-up failed: its tests are said to be skipped.
    /^\[  FAILED  \] [^ ]+: SetUpTestSuite or TearDownTestSuite$/ {
      print "failed: the set-up or tear-down of " substr($4, 1, length($4) - 1) where(); failures++
    }
    /^\[==========\] [0-9]+ tests? from .* ran\./ { ran = $2 + 0; ended++ }
    /^\[  PASSED  \] [0-9]+ tests?\./ { passed = $4 + 0 }
    /^\[  SKIPPED \] [0-9]+ tests?, listed below/ { skipped = $4 + 0 }
    END {
      close_round()
      if (running != "") print "did not finish: " running where()
      if (repeat != "" && ended + 0 < repeat + 0)
        print "ended after " ended + 0 " of its " repeat " rounds"
    }
  ' "$1"
}

gtest_listed() {
  local program=$1
  shift
  (cd "$(dirname "$program")" && "$@" "$program" --gtest_list_tests) |
    LC_ALL=C awk -v disabled="${GTEST_ALSO_RUN_DISABLED_TESTS-0}" '
      # Disabled as GoogleTest has it: a suite or test name that starts
      # with DISABLED_, or holds /DISABLED_ (a parameterised one).
      /^[^ ]/ { suite = $1 }
      /^  [^ ]/ && (disabled != "0" || (suite !~ /(^|\/)DISABLED_/ && $1 !~ /(^|\/)DISABLED_/)) { n++ }
      END { print n + 0 }
    '
  [ "${PIPESTATUS[0]}" -eq 0 ]
}

# The output of the first test that failed in the GoogleTest log $1, from
# its start to its end (at most 60 lines of it).
gtest_first_failure() {
  awk '
    /^\[ RUN      \] / { block = ""; lines = 0 }
    { if (lines < 60) block = block $0 "\n"; lines++ }
    /^\[  FAILED  \] .* \([0-9]+ ms\)$/ { printf "%s", block; exit }
  ' "$1"
}

ctest_costs() {
  local list="$1/$2[1]_tests.cmake" costs="$1/Testing/Temporary/CTestCostData.txt"
  [ -f "$list" ] && [ -f "$costs" ] || return 0
  LC_ALL=C awk '
    FNR == 1 { file++ }
    file == 1 && /^add_test\(\[=\[/ { n = $0; sub(/^add_test\(\[=\[/, "", n); sub(/\]=\].*/, "", n); mine[n] = 1; next }
    file == 2 && /^---$/ { failed_list = 1; next }
    file == 2 && !failed_list { cost[$1] = $3; next }
    file == 2 { failed[$1] = 1 }
    END {
      for (n in mine)
        if ((n in cost) && !(n in failed)) { s += cost[n]; if (cost[n] > m) m = cost[n]; k++ }
      if (k) printf "%d %d\n", s + 1, m + 1
    }
  ' "$list" "$costs"
}

# Ends the run CHILD (shuffled_run's) once its log LOG has not grown for
# LIMIT seconds, leaving LOG.idle; returns when CHILD has ended (or is
# ended by its caller, once it waited for CHILD).
idle_watch() {
  local child=$1 log=$2 limit=$3 size last=-1 still=0
  while kill -0 "$child" 2>/dev/null; do
    sleep 1
    size=$(stat -c %s "$log" 2>/dev/null || echo 0)
    if [ "$size" = "$last" ]; then
      still=$((still + 1))
    else
      still=0
      last=$size
    fi
    if [ "$still" -ge "$limit" ]; then
      echo "$limit" >"$log.idle"
      kill -TERM "$child" 2>/dev/null
      return 0
    fi
  done
}

tsan_runner() {
  local first probe
  tsan_run=()
  first=$(find "$1" -maxdepth 1 -name 'test_*' -type f -perm -u+x | sort | head -n 1)
  if [ -z "$first" ]; then
    echo "no test programs in $1" >&2
    return 1
  fi
  if ! probe=$("$first" --gtest_list_tests 2>&1 >/dev/null); then
    if grep -q "unexpected memory mapping" <<<"$probe" && setarch "$(uname -m)" -R true 2>/dev/null; then
      tsan_run=(setarch "$(uname -m)" -R)
      echo "ThreadSanitizer: running with address randomisation off"
    else
      echo "$probe" >&2
      return 1
    fi
  fi
}

# scripts/run_gtest.sh, for shuffled_run, and the folder it is in.
zpi_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
run_gtest=$zpi_scripts/run_gtest.sh

shuffled_run() {
  local what=$1 limit=$2 repeat=$3 program=$4 log status=0 rc order listed
  shift 4
  log=$(mktemp)
  listed=$(gtest_listed "$program" timeout -k 10 "$limit" "$@" 2>/dev/null) || listed=""
  # timeout leads a process group of its own: the program and whatever it
  # starts. Its number goes to the file SHUFFLED_RUN_PID names, if any, so
  # that a caller that is stopped can end the whole group.
  (cd "$(dirname "$program")" &&
    exec timeout -k 10 "$limit" "$@" sh "$run_gtest" "$program" --gtest_shuffle --gtest_repeat="$repeat") >"$log" 2>&1 &
  local child=$! watcher=
  [ -z "${SHUFFLED_RUN_PID:-}" ] || echo "$child" >"$SHUFFLED_RUN_PID"
  if [ -n "${SHUFFLED_RUN_IDLE:-}" ]; then
    idle_watch "$child" "$log" "$SHUFFLED_RUN_IDLE" &
    watcher=$!
  fi
  wait "$child" || status=$?
  # (Ended here, not left to see the child gone: once waited for, the
  # child's number may soon be another process's.)
  [ -z "$watcher" ] || { kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null || true; }
  [ -z "${SHUFFLED_RUN_PID:-}" ] || rm -f "$SHUFFLED_RUN_PID"
  {
    if [ -z "$listed" ]; then
      echo "could not list its tests"
    elif [ "$listed" -eq 0 ]; then
      echo "lists no test to run${GTEST_FILTER+ under GTEST_FILTER=$GTEST_FILTER}"
    fi
    gtest_report "$log" "$listed" "$repeat"
  } >"$log.report"
  rc=$status
  if [ "$rc" -eq 0 ] && [ -s "$log.report" ]; then
    rc=1
  fi
  tally_gtest "$what" "$log" "$rc" || rc=1
  awk -f "$zpi_scripts/skip_reasons.awk" "$log" | sort -u | skips "$what" || rc=1
  if [ "$rc" -ne 0 ]; then
    {
      echo "$what: FAILED (status $status)"
      if [ -e "$log.idle" ]; then
        echo "wrote nothing for $(cat "$log.idle") s (its limit without output): ended"
      elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "ran out of its time limit ($limit s)"
      fi
      cat "$log.report"
      grep -aE "^(SUMMARY|ERROR|WARNING): " "$log" | sort -u | head -10 || true
      if grep -q '^\[  FAILED  \] .* ([0-9]* ms)$' "$log"; then
        echo "--- the output of the first test that failed:"
        gtest_first_failure "$log"
      fi
      echo "--- the end of its output:"
      tail -30 "$log"
      order=$(sed -nE 's/.*, order ([0-9]+)\)$/\1/p' "$log.report" | head -n 1)
      echo "--- to repeat the round: (cd $(dirname "$program") && $* $program --gtest_shuffle --gtest_random_seed=${order:-<number>})"
    } >&2
  fi
  rm -f "$log" "$log.report" "$log.idle"
  return "$rc"
}
