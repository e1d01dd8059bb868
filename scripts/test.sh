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
# temporary folder, TMPDIR, in which no file can be made; a signal; a
# command of this script that failed), which counts one failure.
#
# Run by someone other than root, it installs nothing: it names the missing
# packages and how to install them, and stops. As root, it waits for the
# package manager's lock while another process holds it, up to
# ZPI_PACKAGE_LOCK_WAIT seconds (default 600).
# (-E: a command that fails within one of its functions is the reason given
# too, not taken for a signal.)
set -Eeuo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

# Without a file for the tally, the run ends at once with the one failure.
no_tally() {
  echo "=== what ran"
  echo "  temporary files: 0 passed, 1 failed, 0 skipped"
  echo "the run stopped: before anything ran: no file can be made in the temporary folder ${TMPDIR:-/tmp}${TMPDIR:+ (TMPDIR)}: $1"
  echo "0 passed, 1 failed, 0 skipped"
  exit 1
}
ZPI_TALLY=$(mktemp 2>&1) || no_tally "$ZPI_TALLY"
ZPI_SKIPS=$(mktemp 2>&1) || { rm -f "$ZPI_TALLY"; no_tally "$ZPI_SKIPS"; }
export ZPI_TALLY ZPI_SKIPS
# However the run ends, it ends with its tally and, when it stopped early,
# the reason: a command of this script that failed, or a signal (SIGINT,
# SIGTERM: the run ends at once, and the exit status is the signal's).
closed=
stopped=
trap 'stopped="the command at line $LINENO failed (status $?): $BASH_COMMAND"' ERR
trap 'ended' EXIT
ended() {
  if [ -z "$closed" ]; then
    stopped=${stopped:-"it was ended by a signal"}
    tally "the run to its end" 0 1
    (closing) || true
  fi
  rm -f "$ZPI_TALLY" "$ZPI_SKIPS"
}

failures() { LC_ALL=C awk -F '\t' '{ s += $3 } END { print s + 0 }' "$ZPI_TALLY"; }

# Runs one step; a step that fails without having counted a failure counts
# as one failed check (a build that broke, a stage that stopped early).
status=0
# Each step says how long it took.
step() {
  local name=$1 before start=$SECONDS
  shift
  before=$(failures)
  if ! "$@"; then
    status=1
    if [ "$(failures)" -eq "$before" ]; then
      tally "$name" 0 1
    fi
  fi
  echo "=== $name: $((SECONDS - start)) s"
}

# What ran, what was skipped and why, and the sum; the run's status.
closing() {
  closed=1
  echo "=== what ran"
  LC_ALL=C awk -F '\t' '{ printf "  %s: %d passed, %d failed, %d skipped\n", $1, $2, $3, $4 }' "$ZPI_TALLY"
  if [ -s "$ZPI_SKIPS" ]; then
    echo "=== skipped tests, each with its reason (and where)"
    awk -F '\t' '
      { key = $2 ": " $3; if (!(key in where)) { keys[++n] = key; where[key] = $1 } else if (index(where[key], $1) == 0) where[key] = where[key] "; " $1 }
      END { for (i = 1; i <= n; i++) print "  " keys[i] " (" where[keys[i]] ")" }
    ' "$ZPI_SKIPS"
  fi
  if [ -n "${stopped:-}" ]; then
    echo "the run stopped: $stopped"
  fi
  LC_ALL=C awk -F '\t' '{ p += $2; f += $3; s += $4 } END { printf "%d passed, %d failed, %d skipped\n", p, f, s }' "$ZPI_TALLY"
  if [ "$status" -ne 0 ] || [ "$(failures)" -ne 0 ]; then
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
  need_packages "${need[@]}" || return

  # A decimal-comma locale, so the tests can show that numbers print without
  # the locale's influence, and one whose case folding differs from ASCII's
  # (tr_TR: "i" and "I" are no pair), so they can show that names are read
  # the same. Optional: without them those tests skip.
  make_locale de_DE "a decimal-comma locale" || return
  make_locale tr_TR "a locale that folds \"i\" otherwise" || return
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
package_failure=
step "packages" packages
if [ "$status" -ne 0 ]; then
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
export ASAN_BUILD_DIR="$PWD/$build"
for stage in scripts/stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "=== stage $(basename "$stage")"
  step "stage $(basename "$stage")" bash "$stage"
done
closing
