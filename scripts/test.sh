#!/usr/bin/env bash
# Installs what the build needs, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Then runs each further
# stage in scripts/stages/ in name order; each stage installs what it needs
# itself. A failing stage fails the run, after the others have run.
#
# Every step, the installing of packages included, adds its counts to a
# tally (scripts/common.sh); the run ends with them, the skipped tests with
# their reasons, and one line "N passed, M failed, S skipped" that sums
# them, whether it passed or not. (A skipped test is neither passed nor
# failed.) When the packages cannot be had, the run stops there, with its
# tally and the reason; so does a run stopped by anything else (a
# temporary folder, TMPDIR, in which no file can be made or nothing can be
# written, as when it is full; a signal; a command of this script that
# failed), which counts one failure. A step whose counts could not all be
# written (the folder filled meanwhile) says so when it happens, naming
# the folder and why (tally), and counts as one failure, whatever its
# status; the run's end names it.
#
# The steps get a temporary folder of the run's own, in the one it was
# given, whose name holds a blank and a character outside ASCII ("zpi
# steps ü.XXXXXX"), so that every run shows them sound in such a folder.
# A step leaves nothing there, however it ends: what it left is named,
# removed, and counts as one failure. The run removes the folder and its
# own files, however it ends.
#
# Run by someone other than root, it installs nothing: it names the missing
# packages and how to install them, and stops. As root, it waits for the
# package manager's lock while another process holds it, up to
# ZPI_PACKAGE_LOCK_WAIT seconds (default 600).
#
# Told to end (SIGINT, SIGTERM, SIGHUP), it ends the step it runs and
# everything that step started, then ends with its tally (the exit status
# is the signal's): each step runs in a process group of its own, what it
# starts carries its mark in the environment (ZPI_RUN_STEP), and all of
# them are sent SIGTERM first (so a stage's own traps end its workers and
# remove its files); what still runs ZPI_STOP_WAIT seconds after SIGTERM
# (default 30; whole seconds, or the run stops before anything ran;
# measured to a hundredth of a second; 0 kills what still runs at the
# first look after SIGTERM, a tenth of a second later) is killed. A
# signal that comes while the tally is printed, or the run removes its
# files, does not cut them short.
# (-E: a command that fails within one of its functions is the reason given
# too, not taken for a signal.)
set -Eeuo pipefail
# (A relative TMPDIR names a folder from where the run was started; the
# steps and the tests run from other folders.)
case ${TMPDIR:-} in '' | /*) ;; *) TMPDIR=$PWD/$TMPDIR ;; esac
cd "$(dirname "$0")/.."
source scripts/common.sh

# However the run ends, it ends with its tally and, when it stopped early,
# the reason: a command of this script that failed, or a signal (the traps
# are set below, once all they call is defined, and before the run makes
# its files).
closed=
stopped=
signalled=
# The run's files in the temporary folder: the tally (ZPI_TALLY, with
# ZPI_TALLY.why and ZPI_TALLY.lost beside it), the list of skips
# (ZPI_SKIPS) and the steps' temporary folder. (Their names hold the run's
# process number: the clean-up finds them by it, also one that mktemp made
# and had not named yet when the run was told to end.)
ZPI_TALLY=
ZPI_SKIPS=
steps_tmp=
ended() {
  # (A signal now would cut the clean-up short.)
  trap '' INT TERM HUP
  if [ -z "$closed" ]; then
    stopped=${stopped:-"it was ended by a signal"}
    gather 2>/dev/null || true
    count "the run to its end" 0 1
    (closing) || true
  fi
  rm -rf "${TMPDIR:-/tmp}/zpi_tally.$$."* "${TMPDIR:-/tmp}/zpi_skips.$$."* "${TMPDIR:-/tmp}/zpi steps ü.$$."*
}
# Told to end (signal NAME NUMBER): ends the step that runs, and exits with
# the signal's status (the tally follows, ended). A second signal does not
# cut this short.
signal() {
  trap '' INT TERM HUP
  signalled=$((128 + $2))
  stopped="it was ended by SIG$1"
  if [ -n "$step_mark" ]; then
    stopped+=" during the step \"$step_name\" (ended, with all it started)"
    end_step
    gather 2>/dev/null || true
    lost_counts "$step_name" || true
    left_behind "$step_name" || true
  fi
  exit "$signalled"
}

# The tally, held here: the lines that a step wrote into the files
# ZPI_TALLY and ZPI_SKIPS (tally and skips of scripts/common.sh) are taken
# once it ended, and the files emptied; the lines of the run's own are
# added here (count WHAT PASSED FAILED [SKIPPED]). So the tally is whole
# whatever becomes of the temporary folder later (full, say).
tally_lines=
skip_lines=
# (A last line without its line break is one that a full folder cut short,
# which tally told: left out.)
gather() {
  local lines
  lines=$(cat "$ZPI_TALLY")
  [ -z "$(tail -c 1 "$ZPI_TALLY")" ] || lines=$(sed '$d' <<<"$lines")
  [ -z "$lines" ] || tally_lines+=$lines$'\n'
  lines=$(cat "$ZPI_SKIPS")
  [ -z "$(tail -c 1 "$ZPI_SKIPS")" ] || lines=$(sed '$d' <<<"$lines")
  [ -z "$lines" ] || skip_lines+=$lines$'\n'
  : >"$ZPI_TALLY"
  : >"$ZPI_SKIPS"
}
count() { tally_lines+=$(printf '%s\t%d\t%d\t%d' "$1" "$2" "$3" "${4:-0}")$'\n'; }
failures() { printf '%s' "$tally_lines" | LC_ALL=C awk -F '\t' '{ s += $3 } END { print s + 0 }'; }

# Runs one step; a step that fails without having counted a failure counts
# as one failed check (a build that broke, a stage that stopped early), and
# so does one that could not write all its counts (lost_counts), whatever
# its status, and one that left something in its temporary folder
# (left_behind).
# It runs in a process group of its own, without input (its group does not
# own the terminal), and what it starts carries ZPI_RUN_STEP, its mark.
status=0
unwritable=
step_name=
step_pid=
step_mark=
steps=0
# Each step says how long it took.
step() {
  local name=$1 before start=$SECONDS rc=0
  shift
  steps=$((steps + 1))
  step_name=$name
  # (Without a line break, which grep would read as two patterns.)
  step_mark=${ZPI_TALLY//$'\n'/\\n}.$steps
  # (As `if ! STEP` would run it: a failing command does not end it.)
  set -m
  (
    set +e
    trap - ERR
    # (Its group is not the terminal's: a terminal that stops the writers
    # of such a group (stty tostop) would stop it for good. It writes, and
    # what reads the terminal fails.)
    trap '' TTOU TTIN
    export ZPI_RUN_STEP=$step_mark TMPDIR=$steps_tmp
    "$@"
  ) </dev/null &
  step_pid=$!
  set +m
  wait "$step_pid" || rc=$?
  step_pid=
  step_mark=
  before=$(failures)
  gather
  if ! lost_counts "$name"; then
    status=1
  elif [ "$rc" -ne 0 ]; then
    status=1
    [ "$(failures)" -ne "$before" ] || count "$name" 0 1
  fi
  left_behind "$name"
  echo "=== $name: $((SECONDS - start)) s"
}

# Whether the step NAME wrote all its counts: tally (scripts/common.sh)
# told at once what it could not write, and left the mark ZPI_TALLY.lost.
# One that did not counts as one failure, whatever it counted and its
# status, and the run's end names it; fails then.
lost_counts() {
  [ -e "$ZPI_TALLY.lost" ] || return 0
  rm -f "$ZPI_TALLY.lost"
  count "$1" 0 1
  unwritable+="the step \"$1\" could not write all its counts in the temporary folder ${TMPDIR:-/tmp}${TMPDIR:+ (TMPDIR)} (told above, when it happened): it counts as one failure, whatever it counted"$'\n'
  return 1
}

# What the step NAME left in its temporary folder, told and removed; that
# counts as one failure of it.
left_behind() {
  local names
  names=$(ls -A "$steps_tmp")
  [ -n "$names" ] || return 0
  status=1
  echo "the step \"$1\" left in its temporary folder ($steps_tmp): $(head -n 20 <<<"$names" | paste -sd ';' | sed 's/;/; /g')$([ "$(wc -l <<<"$names")" -le 20 ] || echo " and $(($(wc -l <<<"$names") - 20)) more")"
  count "$1: its temporary folder left empty" 0 1
  find "$steps_tmp" -mindepth 1 -maxdepth 1 -exec rm -rf {} + || true
}

# The processes of the step that runs, one number a line: those of its
# process group, and those whose environment holds its mark (a process
# that left the group: a stage's own groups, one in a session of its own).
# Not those that have ended and wait for their parent.
step_processes() {
  local stat fields
  {
    for stat in /proc/[0-9]*/stat; do
      { read -r fields <"$stat"; } 2>/dev/null || continue
      # (PID (NAME) STATE PARENT GROUP ...: NAME may hold blanks and ")".)
      fields=${fields##*) }
      [[ $fields =~ ^[^ZX]\ [0-9]+\ ${step_pid:--}\  ]] || continue
      stat=${stat#/proc/}
      echo "${stat%/stat}"
    done
    grep -lsxzF "ZPI_RUN_STEP=$step_mark" /proc/[0-9]*/environ | cut -d / -f 3 || true
  } | LC_ALL=C sort -u
}

# Ends the step that runs and everything it started: SIGTERM to each of its
# processes first, then SIGKILL to what still runs ZPI_STOP_WAIT seconds
# (default 30) after SIGTERM was sent, measured to a hundredth of a second
# (0: at the first look after SIGTERM, a tenth of a second later); returns
# once none runs (or, should some not end even then, after 10 s more,
# naming them).
end_step() {
  local pid pids=() deadline= signal=TERM sent=
  while :; do
    mapfile -t pids < <(step_processes)
    [ ${#pids[@]} -gt 0 ] || break
    if [ -z "$deadline" ]; then
      :
    elif [ "$signal" = TERM ] && [ "$(hundredths)" -ge "$deadline" ]; then
      signal=KILL
      deadline=$(($(hundredths) + 1000))
      echo "still running $stop_wait s after SIGTERM (ZPI_STOP_WAIT), killed:" >&2
      named "${pids[@]}" >&2
    elif [ "$signal" = KILL ] && [ "$(hundredths)" -ge "$deadline" ]; then
      echo "could not end these processes of the step \"$step_name\":" >&2
      named "${pids[@]}" >&2
      break
    fi
    # (Each told once; what starts meanwhile is told when it is seen.)
    for pid in "${pids[@]}"; do
      [ "$signal" = KILL ] || [[ " $sent " != *" $pid "* ]] || continue
      kill -"$signal" "$pid" 2>/dev/null || true
      sent+=" $pid"
    done
    [ -n "$deadline" ] || deadline=$(($(hundredths) + 100 * stop_wait))
    sleep 0.1
  done
  [ -z "$step_pid" ] || wait "$step_pid" 2>/dev/null || true
}

# Hundredths of a second since the machine started (/proc/uptime): a clock
# that no setting of the time moves.
hundredths() {
  local up rest
  read -r up rest </proc/uptime
  up=${up/./}
  echo $((10#$up))
}

# "  PID: COMMAND LINE" for each process PID... that still runs. (One that
# has ended since is left out; that is no failure, which would end the run
# before it killed the rest.)
named() {
  local pid line
  for pid in "$@"; do
    if line=$(tr '\0' ' ' 2>/dev/null </proc/"$pid"/cmdline); then
      echo "  $pid: $line"
    fi
  done
}

# What ran, what was skipped and why, and the sum; the run's status.
closing() {
  closed=1
  # (The run is over: a signal now, to the run or to its process group as a
  # CI runner sends it, would only cut the tally short. Ignored, by what
  # prints it too.)
  trap '' INT TERM HUP
  echo "=== what ran"
  printf '%s' "$tally_lines" | LC_ALL=C awk -F '\t' '{ printf "  %s: %d passed, %d failed, %d skipped\n", $1, $2, $3, $4 }'
  if [ -n "$skip_lines" ]; then
    echo "=== skipped tests, each with its reason (and where)"
    printf '%s' "$skip_lines" | awk -F '\t' '
      { key = $2 ": " $3; if (!(key in where)) { keys[++n] = key; where[key] = $1 } else if (index(where[key], $1) == 0) where[key] = where[key] "; " $1 }
      END { for (i = 1; i <= n; i++) print "  " keys[i] " (" where[keys[i]] ")" }
    '
  fi
  [ -z "$unwritable" ] || printf '%s' "$unwritable"
  if [ -n "${stopped:-}" ]; then
    echo "the run stopped: $stopped"
  fi
  printf '%s' "$tally_lines" | LC_ALL=C awk -F '\t' '{ p += $2; f += $3; s += $4 } END { printf "%d passed, %d failed, %d skipped\n", p, f, s }'
  if [ -n "$signalled" ]; then
    exit "$signalled"
  elif [ "$status" -ne 0 ] || [ "$(failures)" -ne 0 ]; then
    exit 1
  fi
  exit 0
}

packages() {
  local need=()
  command -v cmake >/dev/null || need+=(cmake)
  command -v ninja >/dev/null || need+=(ninja-build)
  command -v g++ >/dev/null || need+=(g++)
  [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
  [ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
  [ -d /usr/include/xercesc ] || need+=(libxerces-c-dev)
  command -v jq >/dev/null || need+=(jq) # the test abi_names
  # A decimal-comma locale, so the tests can show that numbers print without
  # the locale's influence, and one whose case folding differs from ASCII's
  # (tr_TR: "i" and "I" are no pair), so they can show that names are read
  # the same. Optional: without them those tests skip.
  need_packages "${need[@]}" && make_locale de_DE "a decimal-comma locale" &&
    make_locale tr_TR "a locale that folds \"i\" otherwise" && return 0
  # (Why not, for the run's end: the step runs apart from the run.)
  printf '%s\n' "${package_failure:-}" >"$ZPI_TALLY.why"
  return 1
}
# Makes the locale NAME.UTF-8 when it is missing (as root), or says why the
# tests that need it will skip.
make_locale() {
  local name=$1 what=$2
  LC_ALL=C locale -a 2>/dev/null | LC_ALL=C grep -qi "^$name\.utf-\?8$" && return 0
  if [ "$(id -u)" -eq 0 ]; then
    command -v localedef >/dev/null || need_packages locales || return
    localedef -i "$name" -f UTF-8 "$name.UTF-8" || echo "no $what ($name.UTF-8): the tests that need it will skip"
  else
    echo "no $what ($name.UTF-8): the tests that need it will skip (as root: localedef -i $name -f UTF-8 $name.UTF-8)"
  fi
  return 0
}
trap 'stopped="the command at line $LINENO failed (status $?): $BASH_COMMAND"' ERR
trap 'ended' EXIT
trap 'signal INT 2' INT
trap 'signal TERM 15' TERM
trap 'signal HUP 1' HUP
# Without a file for the tally, the run ends at once with the one failure:
# no_tally WHAT WHY.
no_tally() {
  closed=1
  trap '' INT TERM HUP
  echo "=== what ran"
  echo "  temporary files: 0 passed, 1 failed, 0 skipped"
  echo "the run stopped: before anything ran: $1 in the temporary folder ${TMPDIR:-/tmp}${TMPDIR:+ (TMPDIR)}: $2"
  echo "0 passed, 1 failed, 0 skipped"
  exit 1
}
ZPI_TALLY=$(mktemp --tmpdir "zpi_tally.$$.XXXXXX" 2>&1) || no_tally "no file can be made" "$ZPI_TALLY"
ZPI_SKIPS=$(mktemp --tmpdir "zpi_skips.$$.XXXXXX" 2>&1) || no_tally "no file can be made" "$ZPI_SKIPS"
# A full folder still makes (empty) files: a line must be written too.
if ! why=$({ echo "the tally" >"$ZPI_TALLY"; } 2>&1); then
  no_tally "nothing can be written" "${why##*: }"
fi
: >"$ZPI_TALLY"
export ZPI_TALLY ZPI_SKIPS
# The steps' temporary folder (their TMPDIR): one of this run's, in the one
# it was given, whose name holds a blank and a character outside ASCII, so
# that every run shows the steps and the tests sound in such a folder. Open
# to others to pass through, as the system's is, whatever the umask (some
# tests write as another user, in the temporary folder when that user can
# reach it). A step leaves nothing in it (left_behind).
steps_tmp=$(mktemp -d --tmpdir "zpi steps ü.$$.XXXXXX" 2>&1) || no_tally "no folder can be made" "$steps_tmp"
# How long a step told to end may take (end_step): whole seconds. (The
# digits named: "[0-9]" takes other digits too in a UTF-8 locale.)
stop_wait=${ZPI_STOP_WAIT:-30}
if [[ $stop_wait == *[!0123456789]* ]] || [ ${#stop_wait} -gt 6 ]; then
  count "ZPI_STOP_WAIT" 0 1
  stopped="before anything ran: ZPI_STOP_WAIT=$stop_wait is no whole number of seconds (0 to 999999)"
  closing
fi
stop_wait=$((10#$stop_wait))
# (The steps' temporary folder, open to others to pass through: above.)
chmod 0755 "$steps_tmp"

step "packages" packages
if [ "$status" -ne 0 ]; then
  package_failure=$(cat "$ZPI_TALLY.why" 2>/dev/null || true)
  stopped="before building: ${package_failure:-the packages it needs could not be had}"
  closing
fi

build=${BUILD_DIR:-build/asan}
sanitizer_tests() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPI_SANITIZE=ON -DZPI_TEST_HOOKS=ON \
    -DZPI_BENCH=OFF || return
  cmake --build "$build" -j "$(nproc)" || return
  run_ctest "AddressSanitizer tests" "$build"
}
step "AddressSanitizer build" sanitizer_tests

# Further stages (each gets the sanitizer build folder in ASAN_BUILD_DIR).
case $build in
/*) export ASAN_BUILD_DIR=$build ;;
*) export ASAN_BUILD_DIR=$PWD/$build ;;
esac
for stage in scripts/stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "=== stage $(basename "$stage")"
  step "stage $(basename "$stage")" bash "$stage"
done
closing
