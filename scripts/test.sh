#!/bin/bash
# Installs what is missing, builds both targets and runs every test:
# the x86_64 build under wine64 on a virtual display, in the project's own prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

prefix="$root/build/x86_64/wineprefix"
"$root/scripts/make-prefix.sh" "$prefix" unmanaged

# A display of our own, so the tests never depend on the caller's. Wine's
# own background processes are started here with their output going nowhere:
# started from inside a test they would hold CTest's output pipe open.
# Everything runs on one CPU: a registry or window call is a round trip to
# wineserver, many times slower when the two processes sit on different CPUs.
export ORVI_ROOT="$root" WINEPREFIX="$prefix"
pin=()
command -v taskset >/dev/null && pin=(taskset -c "$(($(nproc) - 1))")
"${pin[@]}" "$root/scripts/with-display.sh" bash -c '
  set -e
  /usr/lib/wine/wineserver -p 30
  LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
  status=0
  ctest --test-dir "$ORVI_ROOT/build/x86_64" --output-on-failure --no-tests=error || status=$?
  /usr/lib/wine/wineserver -k || true
  exit $status
'
"$root/scripts/check-exe.sh"
"$root/scripts/native-checks.sh"
