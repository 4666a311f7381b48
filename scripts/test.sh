#!/bin/bash
# Installs what is missing, builds both targets with their tests and runs the
# whole Wine suite twice under wine64, each on a virtual display and in a
# 64-bit prefix of its own: against the x86_64 build, and against the i686
# build (the exe the tool ships as), which runs there as a 32-bit process on
# 64-bit Windows. Where 32-bit Windows code cannot run, it says so and runs
# the x86_64 suite alone. Before the builds it checks that the user guide
# explains every text the tool shows; after the suites it builds the package
# (MSI and zip) and installs, upgrades and removes it in a fresh prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
"$lib/install-deps.sh"
# Every text the tool shows must be explained in the user guide.
"$root/scripts/check-guide.py"
"$root/scripts/build.sh" all

# The prefix a build's tests run in, as the build passes it to CTest
# (ORVI_TEST_PREFIX, below build/prefixes). Usage: test_prefix ARCH
test_prefix() {
  sed -n 's/^ORVI_TEST_PREFIX:[A-Z]*=//p' "$root/build/$1/CMakeCache.txt"
}

# Runs the Wine suite of one build: CTest in build/ARCH, in its test prefix,
# on a display of its own and on one CPU. Usage: run_suite ARCH CPU
run_suite() {
  local arch=$1 cpu=$2 prefix
  prefix=$(test_prefix "$arch")
  "$lib/make-prefix.sh" "$prefix" unmanaged
  # A display of our own, so the tests never depend on the caller's.
  # Everything of a suite runs on one CPU: a registry or window call is a round
  # trip to wineserver, many times slower when the two processes sit on
  # different CPUs.
  local pin=()
  command -v taskset >/dev/null && pin=(taskset -c "$cpu")
  ORVI_ROOT="$root" WINEPREFIX="$prefix" ORVI_ARCH="$arch" "${pin[@]}" "$lib/with-display.sh" bash -c '
    set -e
    . "$ORVI_ROOT/scripts/lib/wine-env.sh"
    wine_start
    status=0
    ctest --test-dir "$ORVI_ROOT/build/$ORVI_ARCH" --output-on-failure --no-tests=error || status=$?
    wine_stop
    exit $status
  '
}

# Whether 32-bit Windows code runs here is found out by running a small i686
# test program, not assumed: it needs a kernel that runs 32-bit code and
# Wine's 32-bit loader (wine32).
"$lib/make-prefix.sh" "$(test_prefix i686)" unmanaged
probe=$("$lib/can-run-i686.sh" "$(test_prefix i686)" 2>&1) && can32=1 || can32=0
[ $can32 = 1 ] || echo "This machine cannot run 32-bit Windows programs ($probe): running the x86_64 suite alone, the i686 suite is not run."

last=$(($(nproc) - 1))
if [ $can32 = 0 ]; then
  echo "==== Wine suite: x86_64 build (64-bit process, load test sizes: full) ===="
  status=0
  ORVI_LOAD_SIZES=full run_suite x86_64 "$last" || status=1
  echo "==== Wine suites ===="
  [ $status = 0 ] && echo "x86_64 suite: passed" || echo "x86_64 suite: FAILED"
  echo "i686 suite: NOT RUN: this machine cannot run 32-bit Windows programs"
else
  # The two suites run side by side, each on a CPU of its own (the last two),
  # and their logs follow one another when both have ended. The load test's
  # full sizes (2,000 controls, each removal one run of regsvr32.exe) run in
  # the x86_64 suite only: a 32-bit regsvr32.exe starts several times slower
  # under wine64, and the i686 suite takes a tenth of them.
  other=$((last > 0 ? last - 1 : 0))
  echo "Running the x86_64 and the i686 Wine suites side by side (CPUs $last and $other); their logs follow when both end."
  ORVI_LOAD_SIZES=full run_suite x86_64 "$last" >"$root/build/x86_64/wine-suite.log" 2>&1 &
  job64=$!
  ORVI_LOAD_SIZES=reduced run_suite i686 "$other" >"$root/build/i686/wine-suite.log" 2>&1 &
  job32=$!
  status64=0 status32=0
  wait $job64 || status64=1
  wait $job32 || status32=1
  echo "==== Wine suite: x86_64 build (64-bit process, load test sizes: full) ===="
  cat "$root/build/x86_64/wine-suite.log"
  echo "==== Wine suite: i686 build (32-bit process on 64-bit Windows, WoW64; load test sizes: reduced) ===="
  cat "$root/build/i686/wine-suite.log"
  echo "==== Wine suites ===="
  [ $status64 = 0 ] && echo "x86_64 suite: passed" || echo "x86_64 suite: FAILED"
  [ $status32 = 0 ] && echo "i686 suite: passed" || echo "i686 suite: FAILED"
  status=$((status64 | status32))
fi
[ $status = 0 ] || exit $status
"$root/scripts/check-exe.sh"
"$root/scripts/check-package.sh"
"$root/scripts/native-checks.sh"
