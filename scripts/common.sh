# Shared by scripts/test.sh and the stages of scripts/stages/ (sourced).
#
# need_packages PKG...   installs the Debian packages named (apt-get) when
#   run as root; anyone else is told which packages are missing and how to
#   install them, and the call fails (nothing is run that would meet apt's
#   lock).
# need_clang RUNTIME     adds to the array `need` what a clang build that
#   links clang's runtime library RUNTIME ("asan", "fuzzer") lacks: clang,
#   its runtimes, cmake, ninja and Xerces-C.
# plain_build BUILD TARGET...   configures BUILD as the installed libraries
#   are built (Release; no sanitizer, test switches, tests or benchmarks),
#   with debug information whose paths are relative to the repository (the
#   description of the binary interface, scripts/abi.sh, reads class layouts
#   from it and is then the same from any checkout), and builds TARGETs.
# tally WHAT PASSED FAILED   adds one line of counts to the run's tally file
#   (ZPI_TALLY, set by scripts/test.sh); without it, a stage run on its own,
#   nothing is recorded.
# tally_ctest WHAT LOG       the counts of a ctest run, read from its output.
# tally_gtest WHAT LOG STATUS  the counts of a GoogleTest program's run
#   (every repeat), read from its output; a program that ended with a
#   nonzero STATUS and reported no failed test (it crashed, or printed no
#   result) counts one failure more.

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
    apt-get update && apt-get install -y --no-install-recommends "$@"
    return
  fi
  echo "$(basename "$0"): missing packages: $*" >&2
  echo "install them as root, then run this again:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends $*" >&2
  return 1
}

plain_build() {
  local build=$1
  shift
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZPI_SANITIZE=OFF \
    -DZPI_TEST_HOOKS=OFF -DZPI_TESTS=OFF -DZPI_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-g -fdebug-prefix-map=$PWD/=" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target "$@"
}

tally() {
  [ -n "${ZPI_TALLY:-}" ] || return 0
  printf '%s\t%d\t%d\n' "$1" "$2" "$3" >>"$ZPI_TALLY"
}

tally_ctest() {
  local line total failed
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$2" | tail -n 1)
  if [ -z "$line" ]; then
    tally "$1" 0 1
    return
  fi
  failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  tally "$1" $((total - failed)) "$failed"
}

tally_gtest() {
  local passed failed
  passed=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$2" | awk '{ s += $1 } END { print s + 0 }')
  failed=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$2" | awk '{ s += $1 } END { print s + 0 }')
  if [ "${3:-0}" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
  fi
  tally "$1" "$passed" "$failed"
}
