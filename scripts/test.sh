#!/bin/bash
# Installs what is missing, builds both targets with their tests and runs the
# whole Wine suite twice under wine64 on a virtual display, each in a 64-bit
# prefix of its own: against the x86_64 build, and against the i686 build (the
# exe the tool ships as), which runs there as a 32-bit process on 64-bit
# Windows. Where 32-bit Windows code cannot run, it says so and runs the
# x86_64 suite alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

# Runs the Wine suite of one build: CTest in build/ARCH, in build/ARCH/wineprefix.
run_suite() {
  local arch=$1 prefix="$root/build/$1/wineprefix"
  "$root/scripts/make-prefix.sh" "$prefix" unmanaged
  echo "==== Wine suite: $arch build ($2) ===="
  # A display of our own, so the tests never depend on the caller's. Wine's
  # own background processes are started here with their output going nowhere:
  # started from inside a test they would hold CTest's output pipe open.
  # Everything runs on one CPU: a registry or window call is a round trip to
  # wineserver, many times slower when the two processes sit on different CPUs.
  local pin=()
  command -v taskset >/dev/null && pin=(taskset -c "$(($(nproc) - 1))")
  ORVI_ROOT="$root" WINEPREFIX="$prefix" ORVI_ARCH="$arch" ORVI_LOAD_SIZES="${ORVI_LOAD_SIZES:-full}" "${pin[@]}" "$root/scripts/with-display.sh" bash -c '
    set -e
    /usr/lib/wine/wineserver -p 30
    LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
    status=0
    ctest --test-dir "$ORVI_ROOT/build/$ORVI_ARCH" --output-on-failure --no-tests=error || status=$?
    /usr/lib/wine/wineserver -k || true
    exit $status
  '
}

# Whether 32-bit Windows code runs here is found out by running a small i686
# test program, not assumed: it needs a kernel that runs 32-bit code and
# Wine's 32-bit loader (wine32).
"$root/scripts/make-prefix.sh" "$root/build/i686/wineprefix" unmanaged
probe=$("$root/scripts/can-run-i686.sh" "$root/build/i686/wineprefix" 2>&1) && can32=1 || can32=0
[ $can32 = 1 ] || echo "This machine cannot run 32-bit Windows programs ($probe): running the x86_64 suite alone, the i686 suite is not run."

results=()
status=0
# The load test's 2,000 controls (each removal one run of regsvr32.exe) run
# in one suite only, the i686 one where it runs: the x86_64 suite then takes 200.
load_sizes=full
[ $can32 = 1 ] && load_sizes=reduced
if ORVI_LOAD_SIZES=$load_sizes run_suite x86_64 "64-bit process, load test sizes: $load_sizes"; then
  results+=("x86_64 suite: passed"); else status=1; results+=("x86_64 suite: FAILED"); fi
if [ $can32 = 1 ]; then
  if ORVI_LOAD_SIZES=full run_suite i686 "32-bit process on 64-bit Windows (WoW64), load test sizes: full"; then
    results+=("i686 suite: passed"); else status=1; results+=("i686 suite: FAILED"); fi
else
  results+=("i686 suite: NOT RUN: this machine cannot run 32-bit Windows programs")
fi

echo "==== Wine suites ===="
printf '%s\n' "${results[@]}"
[ $status = 0 ] || exit $status
"$root/scripts/check-exe.sh"
"$root/scripts/native-checks.sh"
