#!/bin/bash
# Runs a Windows program under wine64 in the project's own prefix (CMake's
# emulator for the cross builds). ORVI_WINEPREFIX names the prefix; it is made
# (or brought up to date) first, as a test prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=${ORVI_WINEPREFIX:-$ORVI_PREFIXES/default}
"$here/make-prefix.sh" "$prefix" unmanaged
export WINEPREFIX="$prefix"
exec "$WINE64" "$@"
