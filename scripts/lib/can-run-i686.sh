#!/bin/bash
# Succeeds when this machine runs 32-bit Windows programs under wine64: found
# out by running a small i686 program of the build (a test program listing
# its tests) in the given prefix, which the caller has made. Otherwise prints
# the reason in one line and fails.
# Usage: can-run-i686.sh PREFIX
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
prefix=${1:?usage: can-run-i686.sh PREFIX}
probe="$orvi_root/build/i686/bin/wow64_test.exe"
[ -f "$probe" ] || { echo "the i686 test programs are not built"; exit 1; }
if [ ! -x "$WINE32_LOADER" ]; then
  echo "Wine's 32-bit loader is missing (install wine32:i386)"
  exit 1
fi
out=$(WINEPREFIX="$prefix" "$WINE64" "$probe" --gtest_list_tests 2>&1 </dev/null)
if ! grep -q '^IsWow64\.' <<<"$out"; then
  reason=$(grep -m1 -i 'exec format error' <<<"$out" || grep -m1 -v '^\s*$' <<<"$out")
  echo "an i686 program did not start: ${reason:-no output}"
  exit 1
fi
