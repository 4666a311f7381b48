# Sourced by every script that runs Wine: the project's one Wine environment
# and the one folder all its Wine prefixes live in (never ~/.wine).
orvi_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# wine64 runs both builds, the i686 one as a 32-bit process on 64-bit Windows
# where Wine's 32-bit loader is installed beside it.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
WINE32_LOADER=/usr/lib/wine/wine
# One folder per prefix: tests-<arch> (named by the build's ORVI_TEST_PREFIX),
# run, screenshot, default (wine-run.sh) and the benchmark's fresh bench.*.
ORVI_PREFIXES=$orvi_root/build/prefixes
# No Mono and no Gecko: the prefixes are made without asking for them.
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree=;mshtml="
# Wine takes its ANSI code page from the locale: Chinese Windows uses 936.
export LC_ALL=zh_CN.UTF-8

# Starts the Wine server of $WINEPREFIX (kept 30 s after its last client) and
# Wine's background processes, with their output going nowhere: started from
# inside a test they would hold CTest's output pipe open. The server makes
# files with the Unix mode a DACL maps to and reads a DACL back from it; with
# no umask a write grant to Everyone stays in the mode, so the tests see it.
# A server still up from an earlier command (the 32-bit probe, say) would
# keep its own umask, so it is ended first.
wine_start() {
  "$WINESERVER" -k 2>/dev/null && "$WINESERVER" -w
  (umask 0; "$WINESERVER" -p 30)
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
wine_stop() {
  "$WINESERVER" -k 2>/dev/null || true
}
