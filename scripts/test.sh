#!/bin/bash
# Installs what is missing, builds both targets and runs every test:
# the x86_64 build under wine64 on a virtual display, in the project's own prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

prefix="$root/build/x86_64/wineprefix"
"$root/scripts/make-prefix.sh" "$prefix" unmanaged

# A display of our own, so the tests never depend on the caller's.
"$root/scripts/with-display.sh" bash -c '
  set -e
  export WINEPREFIX="'"$prefix"'"
  /usr/lib/wine/wineserver -p 60 || true
  ctest --test-dir "'"$root"'/build/x86_64" --output-on-failure --no-tests=error
'
"$root/scripts/check-exe.sh"
