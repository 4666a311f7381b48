#!/bin/bash
# Succeeds when this machine runs 32-bit Windows programs under wine64: Wine's
# 32-bit loader must run (a kernel without 32-bit support refuses it with
# "Exec format error"), and then a 32-bit program of the prefix, which the
# caller has made. Otherwise prints the reason in one line and fails.
# Usage: can-run-i686.sh PREFIX
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
prefix=${1:?usage: can-run-i686.sh PREFIX}
if [ ! -x "$WINE32_LOADER" ]; then
  echo "Wine's 32-bit loader is missing (install wine32:i386)"
  exit 1
fi
# Started from a shell of its own in the C locale, so a refusal reads
# "Exec format error" whatever the locale Wine is given.
if ! out=$(LC_ALL=C bash -c '"$0" --version' "$WINE32_LOADER" 2>&1 </dev/null); then
  echo "Wine's 32-bit loader does not run: $(grep -m1 -v '^\s*$' <<<"$out")"
  exit 1
fi
# A 32-bit program's own output would come in the prefix's code page: only
# its exit code is read.
if ! WINEPREFIX="$prefix" "$WINE64" 'C:\windows\syswow64\hostname.exe' </dev/null >/dev/null 2>&1; then
  echo "a 32-bit program of the prefix (syswow64\\hostname.exe) did not run"
  exit 1
fi
