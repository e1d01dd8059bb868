#!/usr/bin/env bash
# Runs every test program of both sanitizer builds (ASAN_BUILD_DIR, and the
# ThreadSanitizer build of 30-tsan.sh) with its tests shuffled and repeated
# while its cores are kept busy: each program runs pinned to two cores,
# beside two CPU burners pinned to the same two. A test that waits for a
# time that usually suffices, instead of for the state it checks, fails
# here. A program passes only when every round ran every test it lists and
# none failed, whatever its exit status (shuffled_run of scripts/common.sh).
# Any failure fails the stage, named with its round and the number of
# that round's order; a program that runs out of time is ended, naming the
# test it was in. Each program runs with a temporary folder of its own,
# and what it leaves there fails the stage too.
#
# STRESS_REPEAT   shuffled rounds of each program (default 4; before a
#                 change is called done, e.g. STRESS_REPEAT=20)
# STRESS_LANES    programs run at once, each on two cores of its own with
#                 its two burners (default: half of nproc)
# STRESS_ONLY     the programs to run (default all), e.g. "test_base test_client"
# STRESS_TIMEOUT  seconds a program may take per round, and may go without
#                 writing a line (default: from the seconds its tests took
#                 in its build's ctest run, below)
# TSAN_BUILD_DIR  the ThreadSanitizer build (default build/tsan)
#
# A program's time limits come from its build's last ctest run (the seconds
# its tests took there; stressed, a round takes one to two times their
# sum): each round may take five times their sum and 60 s more, and the
# program may go ten times its longest test's seconds and 60 s more
# without writing a line (a test that hangs is ended there, named; a
# threaded test's ctest seconds come from a run on every core, and on two
# busy ones it takes up to four times as long).
# Without a ctest run of its tests, 600 s a round and 300 s.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/common.sh

need=()
command -v taskset >/dev/null || need+=(util-linux)
command -v timeout >/dev/null || need+=(coreutils)
need_packages "${need[@]}"

repeat=${STRESS_REPEAT:-4}
asan=$(realpath -m "${ASAN_BUILD_DIR:-build/asan}")
tsan=$(realpath -m "${TSAN_BUILD_DIR:-build/tsan}")

# The cores this may use ("0-3,6" -> 0 1 2 3 6), paired into lanes.
cpus=()
for range in $(LC_ALL=C taskset -cp $$ | sed 's/.*: //' | tr ',' ' '); do
  for ((c = ${range%-*}; c <= ${range#*-}; c++)); do
    cpus+=("$c")
  done
done
lanes=${STRESS_LANES:-$(( $(nproc) / 2 ))}
if [ "$lanes" -lt 1 ] || [ $((lanes * 2)) -gt ${#cpus[@]} ]; then
  lanes=$(( ${#cpus[@]} >= 2 ? ${#cpus[@]} / 2 : 1 ))
fi

# What runs: sanitizer and program, the longest first, so that the lanes
# end about together: by the seconds its tests took in its build's ctest
# run (twice those of ThreadSanitizer's, which run longer stressed); those
# without, ThreadSanitizer's and of each build the programs that take
# longest first.
jobs=()
for build in "$tsan" "$asan"; do
  kind=$([ "$build" = "$tsan" ] && echo ThreadSanitizer || echo AddressSanitizer)
  if ! ls "$build"/test_* >/dev/null 2>&1; then
    echo "no test programs in $build ($kind)" >&2
    tally "stress runs ($kind)" 0 1
    exit 1
  fi
  for program in "$build"/test_{xml,base,client,journal} "$build"/test_*; do
    if [[ " ${jobs[*]} " == *" $program "* ]]; then
      continue
    fi
    [ -x "$program" ] && [ -f "$program" ] || continue
    if [ -n "${STRESS_ONLY:-}" ] && ! grep -qw "$(basename "$program")" <<<"$STRESS_ONLY"; then
      continue
    fi
    jobs+=("$kind $program")
  done
done
mapfile -t jobs < <(
  for job in "${jobs[@]}"; do
    read -r kind program <<<"$job"
    costs=$(ctest_costs "$(dirname "$program")" "$(basename "$program")")
    costs=${costs:-0}
    echo "$(( ${costs%% *} * ($([ "$kind" = ThreadSanitizer ] && echo 2 || echo 1)) )) $job"
  done | LC_ALL=C sort -s -k1,1nr | cut -d ' ' -f 2-
)
tsan_runner "$tsan"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

pids=()
workers=()
work=
# (Its folder is removed by on_exit, after this.)
cleanup() {
  local pid file
  for file in "$work"/lane.*.pid; do
    [ -f "$file" ] && kill -TERM -- "-$(cat "$file")" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    kill -- "-$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
}
on_exit cleanup
trap 'exit 130' INT TERM
work=$(scratch -d)
# (Open to all, as the temporary folder is, whatever the umask: some tests
# write as another user, in the temporary folder when that user can reach it.)
chmod 0755 "$work"
set -m # each worker and burner in a process group of its own, ended whole

# Starts the lane's two burners on $cores, or again each that has ended,
# telling how it ended.
# (Whether one runs is asked of the lane's own jobs, not of the number: an
# ended burner's number may be another process's by then.)
burn() {
  local k st running
  running=" $(jobs -rp | tr '\n' ' ') "
  for k in 0 1; do
    if [ -n "${burners[$k]:-}" ]; then
      [[ $running != *" ${burners[$k]} "* ]] || continue
      st=0
      wait "${burners[$k]}" 2>/dev/null || st=$?
      echo "stress: a burner on cores $cores had ended (status $st); another is started" >&2
    fi
    taskset -c "$cores" sh -c 'while :; do :; done' &
    burners[$k]=$!
  done
}

# Ends the lane's burners that still run.
burners_end() {
  local b running
  running=" $(jobs -rp | tr '\n' ' ') "
  for b in "${burners[@]}"; do
    [[ $running != *" $b "* ]] || kill "$b" 2>/dev/null || true
  done
}

# A lane runs the next job nobody has taken (a job is taken by making its
# folder) until none is left. The program's own temporary folder is in
# the job's folder, with the log of its run beside it.
# Its two burners run as long as the lane does: one found ended before a
# program starts is told and started again.
lane() {
  local lane=$1 cores=$2 i kind program what start rc tmp runner costs sum longest limit idle
  burners=() # (the lane's own: it runs in a subshell)
  burn
  trap burners_end EXIT
  for ((i = 0; i < ${#jobs[@]}; i++)); do
    mkdir -m 0755 "$work/job.$i" 2>/dev/null || continue
    burn
    read -r kind program <<<"${jobs[$i]}"
    what="stressed $(basename "$program") ($kind)"
    tmp=$work/job.$i/tmp
    mkdir -m 1777 "$tmp"
    runner=(env "TMPDIR=$tmp" taskset -c "$cores")
    [ "$kind" = ThreadSanitizer ] && runner+=("${tsan_run[@]}")
    costs=$(ctest_costs "$(dirname "$program")" "$(basename "$program")")
    if [ -n "${STRESS_TIMEOUT:-}" ]; then
      limit=$((STRESS_TIMEOUT * repeat)) idle=$STRESS_TIMEOUT
    elif [ -n "$costs" ]; then
      read -r sum longest <<<"$costs"
      limit=$((repeat * (5 * sum + 60))) idle=$((10 * longest + 60))
    else
      limit=$((600 * repeat)) idle=300
    fi
    start=$(date +%s)
    rc=0
    TMPDIR=$work/job.$i SHUFFLED_RUN_PID=$work/lane.$lane.pid SHUFFLED_RUN_IDLE=$idle \
      shuffled_run "$what" "$limit" "$repeat" "$program" "${runner[@]}" \
      2>"$work/job.$i/report" || rc=$?
    if [ -n "$(ls -A "$tmp")" ]; then
      {
        echo "$what: left in its temporary folder:"
        ls -A "$tmp" | sed -n 1,20p # (reading all: no SIGPIPE to ls)
      } >>"$work/job.$i/report"
      tally "$what: its temporary folder left empty" 0 1
      rc=1
    fi
    if [ "$rc" -eq 0 ]; then
      echo "$what: $repeat shuffled rounds on cores $cores passed ($(( $(date +%s) - start )) s; limits $limit s, $idle s without output)"
    else
      touch "$work/failed"
      cat "$work/job.$i/report" >&2
    fi
    touch "$work/job.$i/done"
  done
}

start=$(date +%s)
echo "stress: ${#jobs[@]} program runs, $repeat shuffled rounds each, $lanes at a time on two busy cores each"
lane_cores=()
for ((l = 0; l < lanes; l++)); do
  lane_cores+=("${cpus[$((2 * l))]},${cpus[$((2 * l + 1))]:-${cpus[$((2 * l))]}}")
  lane "$l" "${lane_cores[$l]}" &
  workers+=($!)
  pids+=($!)
done
for ((l = 0; l < lanes; l++)); do
  st=0
  wait "${workers[$l]}" || st=$?
  if [ "$st" -ne 0 ]; then
    echo "stress: the lane on cores ${lane_cores[$l]} ended with status $st" >&2
    touch "$work/failed"
  fi
done
echo "stress stage took $(( $(date +%s) - start )) s"
for ((i = 0; i < ${#jobs[@]}; i++)); do
  if [ ! -e "$work/job.$i/done" ]; then
    echo "stress: ${jobs[$i]} did not run to its end" >&2
    tally "stress runs" 0 1
    touch "$work/failed"
  fi
done
if [ -e "$work/failed" ]; then
  echo "stress: failed (above: what failed; a test with its name, round and order number)" >&2
  exit 1
fi
echo "stress: every program passed $repeat shuffled rounds"
