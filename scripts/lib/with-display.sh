#!/bin/bash
# Runs a command with DISPLAY set to a fresh Xvfb of its own; the display is
# stopped afterwards, whatever the command's result. Xvfb picks a free display
# number itself, so displays started side by side never collide.
set -euo pipefail
numfile=$(mktemp)
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$numfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -f "$numfile"' EXIT
for _ in $(seq 1 100); do
  [ -s "$numfile" ] && break
  sleep 0.1
done
n=$(tr -d '[:space:]' <"$numfile")
[ -n "$n" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$n"
"$@"
