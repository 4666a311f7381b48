#!/bin/bash
# Checks both builds of both programs: they import system DLLs only, the i686
# ones are PE32 (the window program at most 150 KB), the window program's manifest asks for administrator rights
# and orvictl's runs as the invoker.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
allowed='^(kernel32|user32|gdi32|shell32|advapi32|cabinet|msvcrt|comctl32|ole32)\.dll$'
status=0
for arch in x86_64 i686; do
for program in OrviActiveX orvictl; do
  exe="$root/build/$arch/bin/$program.exe"
  [ -f "$exe" ] || { echo "missing: $exe"; status=1; continue; }
  dlls=$(${arch}-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  for d in $dlls; do
    if ! [[ $d =~ $allowed ]] && ! [[ $d == api-ms-win-* ]]; then
      echo "$arch: imports non-system DLL $d"; status=1
    fi
  done
  level=requireAdministrator
  [ $program = orvictl ] && level=asInvoker
  grep -aq "level=\"$level\"" "$exe" || { echo "$arch: $program has no $level manifest"; status=1; }
  if grep -aq 'Microsoft.Windows.Common-Controls' "$exe"; then echo "$arch: $program manifest asks for Common-Controls"; status=1; fi
  echo "$arch: $program imports $(echo $dlls | tr '\n' ' ')"
done
done
file "$root/build/i686/bin/OrviActiveX.exe" | grep -q 'PE32 executable (GUI) Intel 80386' ||
  { echo "i686: not a PE32 GUI exe"; status=1; }
file "$root/build/i686/bin/orvictl.exe" | grep -q 'PE32 executable (console) Intel 80386' ||
  { echo "i686: orvictl is not a PE32 console exe"; status=1; }
# The release ships stripped, with the runtime linked in: about 100 KB.
max_bytes=$((150 * 1024))
if [ -f "$root/build/i686/bin/OrviActiveX.exe" ]; then
  bytes=$(stat -c %s "$root/build/i686/bin/OrviActiveX.exe")
  echo "i686: $bytes bytes ($(( (bytes + 1023) / 1024 )) KB, limit 150 KB)"
  [ "$bytes" -le "$max_bytes" ] || { echo "i686: exe larger than 150 KB"; status=1; }
fi
[ $status -eq 0 ] && echo "exe check: passed"
exit $status
