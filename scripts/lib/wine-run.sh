#!/bin/bash
# Runs a Windows program under wine64 in the project's own prefix.
# ORVI_WINEPREFIX names the prefix; it is made (or brought up to date) first,
# as a test prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=${ORVI_WINEPREFIX:-$here/../build/wineprefix}
"$here/make-prefix.sh" "$prefix" unmanaged
export WINEPREFIX="$prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree=;mshtml="
export LC_ALL=zh_CN.UTF-8
exec /usr/lib/wine/wine64 "$@"
