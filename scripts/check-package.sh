#!/bin/bash
# Builds the package (scripts/package.sh) twice, in two build folders, and
# fails unless the two MSIs and the two zips are the same bytes; then checks
# what a Windows user gets: the zip's contents; that the MSI's version is the
# exes' and its File table carries their versions; a second, newer MSI of the
# same exes, signed with a throw-away certificate made here; and, in a fresh
# Wine prefix, a silent install (files, both shortcuts, the installed-programs
# entry with InstallLocation, orvictl help where 32-bit code runs), the newer
# MSI over it (one product left), the older one refused over the newer, a
# silent removal that leaves nothing it installed (the shortcuts neither)
# while C:\OrviActiveX stays, and an upgrade while the window runs: 3010, the
# exe replaced at the restart. Runs on a virtual display of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
if [ "${1:-}" != --on-display ]; then
  "$lib/install-deps.sh"
  exec "$lib/with-display.sh" "$0" --on-display
fi
say() { echo "package check: $*"; }
fail() { say "FAILED: $*"; exit 1; }
work=$(mktemp -d /tmp/orvi-package.XXXXXX)
prefix=
cleanup() {
  if [ -n "$prefix" ]; then
    WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$prefix" "$prefix.lock"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
. "$lib/wine-env.sh"

# ---- the same bytes from two builds -------------------------------------------
# The second build is made in a build folder of its own (kept for the next
# run), so no path of the first reaches its exes, and takes its pictures in a
# fresh prefix of its own, as every package run does.
"$root/scripts/package.sh"
ORVI_BUILD_DIR=$root/build/i686-again ORVI_STAGE=$work/again-stage ORVI_DIST=$work/again \
  "$root/scripts/package.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/i686/CMakeCache.txt")
name=OrviActiveX-$version-x86
msi=$root/dist/$name.msi
again=$work/again/$name.msi
# What differs between the two packages, for the failure's message; it
# shows, it decides nothing.
differences() {
  local a=$root/build/package b=$work/again-stage file table
  for file in OrviActiveX.exe orvictl.exe; do
    cmp "$a/files/$file" "$b/files/$file" &&
      continue
    diff <(i686-w64-mingw32-objdump -p "$a/files/$file" | tail -n +3) \
      <(i686-w64-mingw32-objdump -p "$b/files/$file" | tail -n +3) | head -6 || true
  done
  for file in "$a"/pictures/*.png; do
    cmp "$file" "$b/pictures/${file##*/}" || true
  done
  diff <(msiinfo suminfo "$msi") <(msiinfo suminfo "$again") || true
  # msiinfo export writes a table's binary streams into a folder of the
  # current one.
  mkdir -p "$work/tables"
  for table in $(msiinfo tables "$msi"); do
    (cd "$work/tables" && cmp -s <(msiinfo export "$msi" "$table") <(msiinfo export "$again" "$table")) ||
      echo "the $table tables differ"
  done
  diff <(unzip -Z -v "$root/dist/$name.zip" | tail -n +2) <(unzip -Z -v "$work/again/$name.zip" | tail -n +2) |
    head -20 || true
}
for file in "$name.msi" "$name.zip"; do
  cmp -s "$root/dist/$file" "$work/again/$file" || { differences; fail "two builds gave two different $file"; }
done
say "reproducible: two builds (build/i686 and build/i686-again, the pictures of each in a fresh prefix) gave byte-identical $name.msi and $name.zip"

# ---- the zip and the version ----------------------------------------------------
# Exactly the two exes and the two guides below one folder, the exes as
# built, the user guide with its pictures inside, the IT staff's guide with
# the product code; the Chinese names as Windows' zip folders (code page 936)
# and 7-Zip (the Unicode path field) read them.
product_code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
/usr/bin/python3 - "$root/dist/$name.zip" "$name" "$root/build/i686/bin" "$work/first" "$product_code" <<'EOF' || fail "zip"
import struct, sys, zipfile, zlib
path, folder, built, out, product_code = sys.argv[1:]
archive = zipfile.ZipFile(path, metadata_encoding='cp936')
names = sorted(info.filename for info in archive.infolist())
wanted = sorted(f'{folder}/{n}' for n in ('OrviActiveX.exe', 'orvictl.exe', '使用说明.html', '管理员指南.html'))
if names != wanted:
    sys.exit(f'the zip holds {names}, not {wanted}')
for info in archive.infolist():
    if not info.filename.isascii():
        tag, size, version, crc = struct.unpack_from('<HHBI', info.extra)
        if (tag, crc, info.extra[9:4 + size].decode('utf-8')) != (0x7075, zlib.crc32(info.filename.encode('cp936')), info.filename):
            sys.exit(f'no Unicode path field for {info.filename}')
for exe in ('OrviActiveX.exe', 'orvictl.exe'):
    if archive.read(f'{folder}/{exe}') != open(f'{built}/{exe}', 'rb').read():
        sys.exit(f'{exe} in the zip is not the one built')
if archive.read(f'{folder}/使用说明.html').count(b'src="data:image/png;base64,') != 5:
    sys.exit('the guide does not hold its five pictures')
if f'产品代码 <code>{product_code}</code>'.encode() not in archive.read(f'{folder}/管理员指南.html'):
    sys.exit(f'管理员指南.html does not name the product code {product_code}')
archive.extractall(out)
EOF
say "zip: $name/ holds OrviActiveX.exe and orvictl.exe as built, 使用说明.html with its pictures, 管理员指南.html naming the product code $product_code"
first=$work/first/$name

product_version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
[ "$product_version" = "$version" ] || fail "the MSI's ProductVersion is '$product_version', the project's $version"
# Fixed and text file and product versions of both exes: all MAJOR.MINOR.PATCH.0.
versions=$(/usr/bin/python3 "$lib/pe_version.py" "$first/OrviActiveX.exe" "$first/orvictl.exe" | cut -d' ' -f2- | tr ' ' '\n' | sort -u)
[ "$versions" = "$version.0" ] || fail "the exes carry the versions $(echo $versions), the MSI $product_version"
# The File table gives both exes that version (Windows Installer compares it
# with an installed file's), in their resources' language.
for exe in OrviActiveX.exe orvictl.exe; do
  msiinfo export "$msi" File | tr -d '\r' |
    grep -qF "$(printf '\t%s\t%s\t%s.0\t2052\t' "$exe" "$(stat -c %s "$first/$exe")" "$version")" ||
    fail "the File table gives $exe no version $version.0: $(msiinfo export "$msi" File | grep -F "$exe")"
done
grep -qF "$name.msi" "$root/README.md" || fail "README.md does not name $name.msi"
# The Chinese names are read right whatever code page the reader guesses.
product_name=$(env -u WINDOWS_LANGUAGE LANG=C.UTF-8 msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductName\t//p')
[ "$product_name" = "Orvi ActiveX 控件管理工具" ] || fail "the MSI's ProductName reads '$product_name'"
# The same version installed under another product code (a build from before
# product codes were made from the version) is replaced too: the row that
# finds older products takes this version in (256 + 512: both bounds inclusive).
msiinfo export "$msi" Upgrade | tr -d '\r' | grep -qF "$(printf '\t0.0.0\t%s\t\t768\t\tORVI_OLDER_FOUND' "$version")" ||
  fail "the MSI's Upgrade table does not take $version itself in"
# The summary information is in the product's language: the template names
# 2052, the texts are Chinese, stored in code page 936 as its code page says.
summary=$(msiinfo suminfo "$msi" | iconv -f cp936 -t utf-8)
grep -qx 'Template: Intel;2052' <<<"$summary" && grep -qx 'Title: 安装数据库' <<<"$summary" ||
  fail "the summary information reads: $summary"
say "version: the MSI's ProductVersion $product_version is the exes' ($version.0), the File table's for both and the file names'; summary information Intel;2052, in Chinese"

# ---- a newer MSI, signed --------------------------------------------------------
# The same exes with a higher version, for the upgrade; signed on the way with
# a self-signed certificate made here and thrown away with $work.
IFS=. read -r major minor patch <<<"$version"
newer_version=$major.$minor.$((patch + 1))
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Orvi throw-away test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" -passout pass:throwaway
ORVI_DIST=$work/newer ORVI_STAGE=$work/newer-stage ORVI_PACKAGE_VERSION=$newer_version ORVI_SIGN_PFX=$work/cert.pfx ORVI_SIGN_PASSWORD=throwaway \
  "$root/scripts/package.sh" | grep '^package:'
newer_msi=$work/newer/OrviActiveX-$newer_version-x86.msi
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], metadata_encoding="cp936").extractall(sys.argv[2])' \
  "$work/newer/OrviActiveX-$newer_version-x86.zip" "$work/newer"
newer=$work/newer/OrviActiveX-$newer_version-x86
# Verified against the throw-away certificate as the one trusted root: the
# signature is there, made with that certificate, and its digest is the file's.
for file in "$newer/OrviActiveX.exe" "$newer/orvictl.exe" "$newer_msi"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; fail "$(basename "$file") is not signed"; }
done
# One byte changed in the middle of a signed exe breaks its signature.
/usr/bin/python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[len(b) // 2] ^= 1; open(sys.argv[2], "wb").write(b)' \
  "$newer/orvictl.exe" "$work/changed.exe"
! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed.exe" >/dev/null 2>&1 ||
  fail "a changed exe still passes verification"
say "signing: both exes and the MSI of $newer_version carry a signature of the throw-away certificate that covers them"

# ---- Wine: install, upgrade, remove -----------------------------------------------
mkdir -p "$ORVI_PREFIXES"
prefix=$(mktemp -d "$ORVI_PREFIXES/msi-test.XXXXXX")
"$lib/make-prefix.sh" "$prefix" unmanaged
# No menu entries on this machine for the shortcut the MSI makes.
export WINEPREFIX=$prefix WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
drive=$prefix/drive_c
installed=$drive/Program\ Files\ \(x86\)/Orvi\ ActiveX
# A control's extraction folder, as a cabinet drop leaves it: not the MSI's.
mkdir -p "$drive/OrviActiveX/1765000000"
echo control >"$drive/OrviActiveX/1765000000/control.ocx"
list_drive() { (cd "$drive" && find . -mindepth 1 | LC_ALL=C sort); }
list_drive >"$work/before.txt"

# Runs msiexec ACTION PACKAGE silently, as the IT staff's guide tells it
# (/qn /norestart /l*v), and sets code to its whole exit code: a Unix exit
# status keeps only its low byte (3010 would read 194), so a batch file of
# the prefix's cmd passes it on.
msiexec() {
  printf '@echo off\r\nmsiexec %s "%s" /qn /norestart /l*v "%s"\r\necho exit=%%errorlevel%%\r\n' \
    "$1" "Z:${2//\//\\}" "Z:${work//\//\\}\\msiexec.log" >"$work/msiexec.cmd"
  # cmd ends with msiexec's code, which is not a failure here.
  code=$("$WINE64" cmd /c "Z:${work//\//\\}\\msiexec.cmd" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^exit=//p') ||
    true
}
# The Uninstall keys of both registry views, as reg export writes them.
uninstall_keys() {
  for view in 32 64; do
    "$WINE64" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "$work/uninstall.reg" \
      /reg:$view /y >/dev/null 2>&1 && iconv -f utf-16 -t utf-8 "$work/uninstall.reg" | tr -d '\r'
  done
}
# The VALUE lines (DisplayVersion, InstallLocation) of the products named as
# ours in the installed-programs list, one a line. Usage: products [VALUE]
products() {
  uninstall_keys | awk -v value="\"${1:-DisplayVersion}\"=" '
    /^\[/ { if (mine) print line; mine = 0; line = "" }
    $0 == "\"DisplayName\"=\"Orvi ActiveX 控件管理工具\"" { mine = 1 }
    index($0, value) == 1 { line = $0 }
    END { if (mine) print line }'
}
# Checks the files installed from the MSI whose files are in FOLDER, and the
# two shortcuts: the window's and the guide's.
check_installed() {
  local from=$1 files
  files=$(cd "$installed" && LC_ALL=C ls)
  [ "$files" = "$(printf 'OrviActiveX.exe\norvictl.exe\n使用说明.html\n管理员指南.html')" ] || fail "installed: $(echo $files)"
  for file in OrviActiveX.exe orvictl.exe 使用说明.html 管理员指南.html; do
    cmp -s "$installed/$file" "$from/$file" || fail "the installed $file is not the packaged one"
  done
  # Windows puts a per-machine shortcut into the all-users Start menu; Wine 8
  # into the user's.
  mapfile -t links < <(find "$drive/ProgramData/Microsoft/Windows/Start Menu" \
    "$drive"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu -name '*.lnk' 2>/dev/null | LC_ALL=C sort)
  [ ${#links[@]} = 2 ] && [ "$(basename "${links[0]}")" = "Orvi ActiveX 控件管理工具 使用说明.lnk" ] &&
    [ "$(basename "${links[1]}")" = "Orvi ActiveX 控件管理工具.lnk" ] || fail "shortcuts: ${links[*]:-none}"
  grep -aqF 'C:\Program Files (x86)\Orvi ActiveX\OrviActiveX.exe' "${links[1]}" ||
    fail "the window's shortcut has another target"
  strings -a -el "${links[1]}" | grep -qE '^.?C:\\windows\\Installer\\\{[0-9A-F-]+\}\\orvi\.ico$' ||
    fail "the window's shortcut has no icon"
  # The target's path in the shortcut's link information is in the ANSI
  # code page (936).
  /usr/bin/python3 -c 'import sys; sys.exit(sys.argv[2].encode("cp936") not in open(sys.argv[1], "rb").read())' \
    "${links[0]}" 'C:\Program Files (x86)\Orvi ActiveX\使用说明.html' || fail "the guide's shortcut has another target"
  link=${links[1]#$drive/}
  link=${link//\//\\}
  guide_link=${links[0]#$drive/}
  guide_link=${guide_link//\//\\}
}
# Fails unless the drive holds just what it held before the first
# installation (bar Windows Installer's own cache folder, there on every
# Windows, which the first installation in a fresh prefix makes: whatever
# went into it must be gone).
check_removed() {
  [ -z "$(products)" ] || fail "still in installed programs: $(products)"
  list_drive >"$work/after.txt"
  left=$(LC_ALL=C comm -13 "$work/before.txt" "$work/after.txt" | grep -vx './windows/Installer' || true)
  gone=$(LC_ALL=C comm -23 "$work/before.txt" "$work/after.txt")
  [ -z "$left$gone" ] || fail "after the removal, left: ${left:-nothing}; gone: ${gone:-nothing}"
}

msiexec /i "$msi"
[ "$code" = 0 ] || fail "msiexec /i $name.msi ended with ${code:-no exit code}"
check_installed "$first"
[ "$(products)" = "\"DisplayVersion\"=\"$version\"" ] || fail "installed programs: $(products | tr '\n' ' ')"
location='"InstallLocation"="C:\\Program Files (x86)\\Orvi ActiveX\\"'
[ "$(products InstallLocation)" = "$location" ] || fail "the entry's InstallLocation: $(products InstallLocation)"
say "installed silently: C:\\Program Files (x86)\\Orvi ActiveX\\ holds both exes as built and both guides; C:\\$link (target, icon) and C:\\$guide_link (to 使用说明.html); installed programs: Orvi ActiveX 控件管理工具 $version, InstallLocation C:\\Program Files (x86)\\Orvi ActiveX\\"

[ -f "$root/build/i686/bin/wow64_test.exe" ] || (cd "$root" && cmake --build --preset mingw-i686 --target wow64_test >/dev/null)
if reason=$("$lib/can-run-i686.sh" "$prefix" 2>&1); then
  can32=1
  usage=$("$WINE64" 'C:\Program Files (x86)\Orvi ActiveX\orvictl.exe' help </dev/null 2>&1) ||
    fail "the installed orvictl.exe help ended with $?: $usage"
  grep -qF 'orvictl - ORVI 控件的命令行安装和卸载' <<<"$usage" || fail "the installed orvictl.exe help printed: $usage"
  say "the installed orvictl.exe help ran as a 32-bit process and printed its usage"
else
  can32=0
  say "the installed orvictl.exe help NOT RUN: this machine cannot run 32-bit Windows programs ($reason)"
fi

msiexec /i "$newer_msi"
[ "$code" = 0 ] || fail "msiexec /i of $newer_version over $version ended with ${code:-no exit code}"
check_installed "$newer"
[ "$(products)" = "\"DisplayVersion\"=\"$newer_version\"" ] || fail "after the upgrade: $(products | tr '\n' ' ')"
say "upgraded silently to $newer_version: one product left, its signed exes installed, both shortcuts once"

msiexec /i "$msi"
[ "$code" = 1603 ] && [ "$(products)" = "\"DisplayVersion\"=\"$newer_version\"" ] ||
  fail "installing $version over $newer_version ended with ${code:-no exit code}: $(products | tr '\n' ' ')"
# Refused for the newer product found, not for some other fault.
grep -aq '^Property(S): ORVI_NEWER_FOUND = {' "$work/msiexec.log" || fail "$version was refused for another reason"
check_installed "$newer"
say "$version over $newer_version is refused with 1603 (it finds the newer one), $newer_version stays"

msiexec /x "$newer_msi"
[ "$code" = 0 ] || fail "msiexec /x ended with ${code:-no exit code}"
check_removed
say "removed silently: no file or folder of it left on C: (neither shortcut), none in installed programs; C:\\OrviActiveX stays"

# ---- the window open during an upgrade ---------------------------------------------
# A running exe cannot be replaced: Windows Installer puts the new one beside
# it, names both in PendingFileRenameOperations, ends with 3010 (a restart is
# needed) and the restart (wineboot -r under Wine) puts the new one in place.
if [ $can32 = 1 ]; then
  msiexec /i "$msi"
  [ "$code" = 0 ] || fail "msiexec /i $name.msi ended with ${code:-no exit code}"
  "$WINE64" 'C:\Program Files (x86)\Orvi ActiveX\OrviActiveX.exe' </dev/null >/dev/null 2>&1 &
  window=$!
  for _ in $(seq 1 300); do
    xdotool search --onlyvisible --classname '' 2>/dev/null | while read -r w; do
      xdotool getwindowgeometry "$w" 2>/dev/null
    done | grep -q 'Geometry: 700x500' && break
    kill -0 $window 2>/dev/null || fail "the installed OrviActiveX.exe ended before its window showed"
    sleep 0.1
  done
  msiexec /i "$newer_msi"
  upgrade_code=$code
  renames=$("$WINE64" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    </dev/null 2>/dev/null | tr -d '\r')
  cmp -s "$installed/OrviActiveX.exe" "$first/OrviActiveX.exe" || fail "the running OrviActiveX.exe was replaced at once"
  kill $window 2>/dev/null || true
  wait $window 2>/dev/null || true
  [ "$upgrade_code" = 3010 ] || fail "msiexec /i of $newer_version with the window open ended with ${upgrade_code:-no exit code}"
  grep -qF 'C:\Program Files (x86)\Orvi ActiveX\OrviActiveX.exe' <<<"$renames" ||
    fail "no replacement of OrviActiveX.exe at the restart: $renames"
  "$WINE64" wineboot -r </dev/null >/dev/null 2>&1
  "$WINESERVER" -w
  check_installed "$newer"
  [ "$(products)" = "\"DisplayVersion\"=\"$newer_version\"" ] || fail "after the restart: $(products | tr '\n' ' ')"
  msiexec /x "$newer_msi"
  [ "$code" = 0 ] || fail "msiexec /x ended with ${code:-no exit code}"
  check_removed
  say "upgraded with the window open: 3010, the running OrviActiveX.exe stays until the restart, which puts the new one in place; then removed whole"
else
  say "the upgrade with the window open NOT RUN: this machine cannot run 32-bit Windows programs ($reason)"
fi
say "passed"
