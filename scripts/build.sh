#!/bin/bash
# Builds the tool with its tests: build/x86_64 and build/i686 (the 32-bit release,
# the exe the tool ships as).
# Usage: scripts/build.sh [x86_64|i686|all]   (default all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
build_one() {
  local arch=$1 tests=$2 type=$3
  cmake -S "$root" -B "$root/build/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE="$type" -DORVI_BUILD_TESTS="$tests" >/dev/null
  cmake --build "$root/build/$arch"
}
if [ "$which" = all ] || [ "$which" = x86_64 ]; then build_one x86_64 ON RelWithDebInfo; fi
if [ "$which" = all ] || [ "$which" = i686 ]; then build_one i686 ON Release; fi
