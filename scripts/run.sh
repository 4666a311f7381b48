#!/bin/bash
# Installs what is missing, builds the tool and starts it under wine64 in the
# project's own Wine prefix (build/prefixes/run), on the current X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: DISPLAY is not set, so the tool's window cannot be shown." >&2
  echo "Run this from a graphical session, or on a virtual display:" >&2
  echo "  xvfb-run -a scripts/run.sh     (or see scripts/screenshot.sh for pictures)" >&2
  exit 1
fi
"$lib/install-deps.sh"
. "$lib/wine-env.sh"
prefix="$ORVI_PREFIXES/run"
"$lib/make-prefix.sh" "$prefix"
# The i686 exe is the one the tool ships as; it runs as a 32-bit process on
# 64-bit Windows where this machine runs 32-bit code, else the x86_64 one runs.
# Only the window program of that build is built.
if reason=$("$lib/can-run-i686.sh" "$prefix" 2>&1); then
  arch=i686
  why="the shipped one, as a 32-bit process"
else
  arch=x86_64
  why="this machine cannot run 32-bit Windows programs ($reason)"
fi
"$root/scripts/build.sh" $arch OrviActiveX
exe="$root/build/$arch/bin/OrviActiveX.exe"
echo "Starting the $arch exe ($why): $exe"
export WINEPREFIX="$prefix"
exec "$WINE64" "$exe"
