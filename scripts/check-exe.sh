#!/bin/bash
# Checks both builds of both programs: they import only the system's known
# DLLs they need (any other DLL the loader would take from the program's own
# folder first, where a zip release is unpacked), the i686
# ones are PE32 (the window program at most 150 KB), the window program's
# manifest asks for administrator rights and orvictl's runs as the invoker,
# and orvictl holds no window code: no drawing or window imports, and none of
# the window shell's functions in its debug file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The known DLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs)
# the programs need; cabinet.dll and comctl32.dll are not among them.
allowed='^(kernel32|user32|gdi32|shell32|advapi32|msvcrt)\.dll$'
status=0
for arch in x86_64 i686; do
for program in OrviActiveX orvictl; do
  exe="$root/build/$arch/bin/$program.exe"
  [ -f "$exe" ] || { echo "missing: $exe"; status=1; continue; }
  dlls=$(${arch}-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  for d in $dlls; do
    if ! [[ $d =~ $allowed ]]; then
      echo "$arch: imports $d, which is not one of the known DLLs the tool may import"; status=1
    fi
  done
  level=requireAdministrator
  [ $program = orvictl ] && level=asInvoker
  grep -aq "level=\"$level\"" "$exe" || { echo "$arch: $program has no $level manifest"; status=1; }
  if grep -aq 'Microsoft.Windows.Common-Controls' "$exe"; then echo "$arch: $program manifest asks for Common-Controls"; status=1; fi
  echo "$arch: $program imports $(echo $dlls | tr '\n' ' ')"
done
# The console program links the engine and the base layer only.
ctl="$root/build/$arch/bin/orvictl.exe"
shell_lib="$root/build/$arch/liborvi_shell.a"
if [ -f "$ctl" ] && [ -f "$shell_lib" ]; then
  for d in gdi32.dll user32.dll; do
    if ${arch}-w64-mingw32-objdump -p "$ctl" | grep -qi "DLL Name: $d"; then
      echo "$arch: orvictl imports $d (window or drawing code)"; status=1
    fi
  done
  # The shell's own functions and data; the inline text helpers it shares
  # with the engine are left out.
  defined() { ${arch}-w64-mingw32-nm --defined-only -g "$@" | awk 'NF == 3 {print $3}' | sort -u; }
  shell_symbols=$(comm -23 <(defined "$shell_lib") \
    <(defined "$root/build/$arch/liborvi_engine.a" "$root/build/$arch/liborvi_base.a" | sort -u))
  ctl_symbols=$(${arch}-w64-mingw32-nm --defined-only "$ctl.debug" | awk 'NF == 3 {print $3}' | sort -u)
  linked=$(comm -12 <(echo "$shell_symbols") <(echo "$ctl_symbols"))
  if [ -n "$linked" ]; then
    echo "$arch: orvictl links window code: $(echo $linked | ${arch}-w64-mingw32-c++filt | tr '\n' ' ')"; status=1
  fi
  [ "$(echo "$shell_symbols" | grep -c .)" -gt 10 ] || { echo "$arch: no window functions found in $shell_lib"; status=1; }
  echo "$arch: orvictl holds none of the $(echo "$shell_symbols" | grep -c .) window shell symbols"
fi
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
