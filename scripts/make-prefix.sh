#!/bin/bash
# Makes the project's own Wine prefix (never ~/.wine): a 64-bit prefix with
# the Chinese locale and the face "宋体" mapped to an installed CJK font.
# With "unmanaged" (the tests' prefixes) no window manager is asked about
# windows: without one, Xvfb would make every window destruction wait 2 s.
set -euo pipefail
prefix=${1:?usage: make-prefix.sh PREFIX [unmanaged]}
mode=${2:-}
[ -f "$prefix/.orvi-ready" ] && exit 0
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.orvi-ready" ] && exit 0

export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export LC_ALL=zh_CN.UTF-8
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true

# Wine ships no SimSun: map the face names to WenQuanYi Zen Hei.
reg=$(mktemp --suffix=.reg)
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  printf '"宋体"="WenQuanYi Zen Hei"\r\n'
  printf '"SimSun"="WenQuanYi Zen Hei"\r\n'
  printf '"NSimSun"="WenQuanYi Zen Hei"\r\n'
  printf '"新宋体"="WenQuanYi Zen Hei"\r\n\r\n'
  if [ "$mode" = unmanaged ]; then
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n'
    printf '"Managed"="N"\r\n\r\n'
  fi
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
/usr/lib/wine/wine64 regedit /S "$(/usr/lib/wine/wine64 winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
rm -f "$reg"
/usr/lib/wine/wineserver -w
touch "$prefix/.orvi-ready"
