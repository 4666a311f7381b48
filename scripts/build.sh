#!/bin/bash
# Builds the tool with its tests through the presets of CMakePresets.json:
# build/x86_64 and build/i686 (the 32-bit release, the exe the tool ships as).
# Usage: scripts/build.sh [x86_64|i686|all] [TARGET...]   (default all, every target)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
shift || true
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
case $which in
  all | x86_64 | i686) ;;
  *) echo "usage: scripts/build.sh [x86_64|i686|all] [TARGET...]" >&2; exit 2 ;;
esac
cd "$root"
build_one() {
  local preset=mingw-$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" "${targets[@]}"
}
if [ "$which" = all ] || [ "$which" = x86_64 ]; then build_one x86_64; fi
if [ "$which" = all ] || [ "$which" = i686 ]; then build_one i686; fi
