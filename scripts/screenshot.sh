#!/bin/bash
# Starts the tool under a virtual display and saves two pictures of it into
# OUTDIR: register.png (the page shown at start) and uninstall.png (after a
# real mouse click on the "卸载" tab). With ORVI_SCREENSHOT_FAILURES=1 also
# failed-drop.png and failed-cabinet.png: the report of a control that needs
# a DLL the machine lacks, and of a cabinet holding such a control beside a
# good one; and control-status.png, the information box of a control the
# browser will not load, with its 状态 line. A script cannot drag a file onto
# a Wine window, so these come from failed_drops.exe, built with the tests:
# it shows the real main window, drops the file in-process as the tests do
# (or plants the control and right-clicks it), and stays open to be pictured.
#
# Usage: scripts/screenshot.sh OUTDIR
#   ORVI_EXE               the tool, used as it is (default: the exe scripts/run.sh
#                          starts, the i686 one where this machine runs 32-bit code,
#                          else the x86_64 one; built first, with failed_drops.exe
#                          when the failure pictures are asked for)
#   ORVI_WINEPREFIX        its Wine prefix (default build/prefixes/screenshot; made on first use)
#   ORVI_SCREENSHOT_SETUP  a command run first, in the same prefix and display
#                          (for example to register controls that the list should show)
#   ORVI_SCREENSHOT_QUERY  1: click "查询安装" before the uninstall picture
#   ORVI_SCREENSHOT_FAILURES  1: the three failure pictures as well
#                          (failed_drops.exe beside ORVI_EXE)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
lib=$here/lib

if [ "${1:-}" != --on-display ]; then
  out=${1:?usage: screenshot.sh OUTDIR}
  mkdir -p "$out"
  exec "$lib/with-display.sh" "$0" --on-display "$(cd "$out" && pwd)"
fi
out=$2

. "$lib/wine-env.sh"
export ORVI_WINEPREFIX=${ORVI_WINEPREFIX:-$ORVI_PREFIXES/screenshot}
"$lib/make-prefix.sh" "$ORVI_WINEPREFIX" unmanaged
export WINEPREFIX=$ORVI_WINEPREFIX

if [ -n "${ORVI_EXE:-}" ]; then
  exe=$ORVI_EXE
else
  # The build scripts/run.sh starts, found out the same way.
  arch=i686
  "$lib/can-run-i686.sh" "$ORVI_WINEPREFIX" >/dev/null 2>&1 || arch=x86_64
  targets=(OrviActiveX)
  [ "${ORVI_SCREENSHOT_FAILURES:-0}" = 1 ] && targets+=(failed_drops)
  "$root/scripts/build.sh" $arch "${targets[@]}"
  exe=$root/build/$arch/bin/OrviActiveX.exe
fi
[ -f "$exe" ] || { echo "screenshot: no tool at $exe (build it first)" >&2; exit 1; }

if [ -n "${ORVI_SCREENSHOT_SETUP:-}" ]; then
  bash -c "$ORVI_SCREENSHOT_SETUP"
fi

# Layout of the tool, in client coordinates of its main window.
client_width=698   # 700 wide with a one-pixel border
uninstall_tab_x=120 uninstall_tab_y=60
query_x=550 query_y=245
close_x=$((client_width - 25 + 8)) close_y=13

"$lib/wine-run.sh" "$exe" &
tool=$!
stop_tool() {
  kill "$tool" 2>/dev/null || true
  wine_stop
}
trap stop_tool EXIT

# The main window is the tool's one visible 700 x 500 window; sets window,
# cx, cy (its client area's origin) and crop.
find_window() {
  window=
  for _ in $(seq 1 300); do
    for w in $(xdotool search --onlyvisible --classname '' 2>/dev/null); do
      if xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 700x500'; then
        window=$w
        break
      fi
    done
    [ -n "$window" ] && break
    kill -0 "$tool" 2>/dev/null || { echo "screenshot: the tool ended early" >&2; exit 1; }
    sleep 0.1
  done
  [ -n "$window" ] || { echo "screenshot: no main window after 30 s" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The client area starts inside the border.
  cx=$((X + 1)) cy=$((Y + 1))
  crop="700x500+$X+$Y"
}
find_window

click() {
  xdotool mousemove --sync $((cx + $1)) $((cy + $2)) click 1
  sleep 1
}

sleep 1.5
import -window root -crop "$crop" +repage "$out/register.png"

click $uninstall_tab_x $uninstall_tab_y
if [ "${ORVI_SCREENSHOT_QUERY:-0}" = 1 ]; then
  click $query_x $query_y
fi
# Away from the tabs, so no hover or press look remains.
xdotool mousemove $((cx + 400)) $((cy + 30))
sleep 0.5
import -window root -crop "$crop" +repage "$out/uninstall.png"

close_tool() {
  click $close_x $close_y
  for _ in $(seq 1 50); do
    kill -0 "$tool" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$tool" 2>/dev/null; then
    echo "screenshot: the close button did not end the tool; killing it" >&2
    kill "$tool" 2>/dev/null || true
  fi
}
close_tool
echo "screenshot: $out/register.png $out/uninstall.png"

if [ "${ORVI_SCREENSHOT_FAILURES:-0}" = 1 ]; then
  showcase=$(dirname "$exe")/failed_drops.exe
  [ -f "$showcase" ] || { echo "screenshot: no $showcase (build the tests first)" >&2; exit 1; }
  for kind in drop cabinet info; do
    log=$out/.failed-$kind.log
    "$lib/wine-run.sh" "$showcase" "$kind" >"$log" 2>&1 &
    tool=$!
    find_window
    for _ in $(seq 1 300); do
      grep -q ready "$log" && break
      kill -0 "$tool" 2>/dev/null || { echo "screenshot: failed_drops.exe $kind ended early" >&2; cat "$log" >&2; exit 1; }
      sleep 0.1
    done
    # Away from the window's buttons, so no hover look remains.
    xdotool mousemove $((cx + 400)) $((cy + 30))
    sleep 1
    picture=$out/failed-$kind.png
    # The information box is open over the window: answered first.
    if [ "$kind" = info ]; then
      picture=$out/control-status.png
      import -window root -crop "$crop" +repage "$picture"
      xdotool key Return
      sleep 0.5
    else
      import -window root -crop "$crop" +repage "$picture"
    fi
    close_tool
    rm -f "$log"
  done
  echo "screenshot: $out/failed-drop.png $out/failed-cabinet.png $out/control-status.png"
fi
