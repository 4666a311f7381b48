#!/bin/bash
# Makes the project's own Wine prefix (never ~/.wine): a 64-bit prefix with
# the Chinese locale and the face "宋体" mapped to an installed CJK font.
# With "unmanaged" (the tests' prefixes) no window manager is asked about
# windows: without one, Xvfb would make every window destruction wait 2 s.
# Cheap when the prefix is already set up; a prefix made with older settings
# is brought up to date.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
prefix=${1:?usage: make-prefix.sh PREFIX [unmanaged]}
mode=${2:-managed}
# Wine ships no SimSun. AR PL UMing is a Song (Ming) face with hand-made
# bitmaps at small sizes, as SimSun has; WenQuanYi Zen Hei is the fallback.
# Zen Hei alone drops strokes at 14 and 16 pixels: Wine renders it without
# anti-aliasing there (its gasp table says so).
fonts="AR PL UMing CN\\0WenQuanYi Zen Hei"
# With Wine's 32-bit loader installed the prefix also gets its 32-bit half
# (syswow64), where the i686 build runs as a 32-bit process.
wow64=no
[ -x "$WINE32_LOADER" ] && wow64=yes
settings="fonts=$fonts windows=$mode wow64=$wow64 crashdialog=no"
ready() { [ "$(cat "$prefix/.orvi-ready" 2>/dev/null)" = "$settings" ]; }
ready && exit 0
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
ready && exit 0

export WINEPREFIX="$prefix" WINEARCH=win64
if [ ! -f "$prefix/system.reg" ]; then
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
elif [ $wow64 = yes ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  "$WINE64" wineboot -u >/dev/null 2>&1 || true
fi

# The first of the listed families that is installed replaces the face.
for face in 宋体 SimSun NSimSun 新宋体; do
  "$WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" \
    /t REG_MULTI_SZ /d "$fonts" /f >/dev/null 2>&1
done
if [ "$mode" = unmanaged ]; then
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
else
  "$WINE64" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
fi
# A crashing program ends at once instead of waiting on winedbg's dialog,
# which nobody answers on a test display: a crash fails a test, never hangs it.
"$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINESERVER" -w
echo "$settings" > "$prefix/.orvi-ready"
