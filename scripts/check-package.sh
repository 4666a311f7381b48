#!/bin/bash
# Builds the package (scripts/package.sh) and checks what a Windows user gets:
# the zip's contents; that the MSI's version is the exes'; a second, newer MSI
# of the same exes, signed with a throw-away certificate made here; and, in a
# fresh Wine prefix, a silent install (files, shortcut, the installed-programs
# entry, orvictl help where 32-bit code runs), the newer MSI over it (one
# product left), the older one refused over the newer, and a silent removal
# that leaves nothing it installed while C:\OrviActiveX stays.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
"$lib/install-deps.sh"
"$root/scripts/package.sh"
. "$lib/wine-env.sh"

say() { echo "package check: $*"; }
fail() { say "FAILED: $*"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/i686/CMakeCache.txt")
name=OrviActiveX-$version-x86
msi=$root/dist/$name.msi
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

# ---- the zip and the version ----------------------------------------------------
# Exactly the two exes and the guide below one folder, the exes as built, the
# guide with its pictures inside; the Chinese name as Windows' zip folders
# (code page 936) and 7-Zip (the Unicode path field) read it.
/usr/bin/python3 - "$root/dist/$name.zip" "$name" "$root/build/i686/bin" "$work/first" <<'EOF' || fail "zip"
import struct, sys, zipfile, zlib
path, folder, built, out = sys.argv[1:]
archive = zipfile.ZipFile(path, metadata_encoding='cp936')
names = sorted(info.filename for info in archive.infolist())
wanted = sorted(f'{folder}/{n}' for n in ('OrviActiveX.exe', 'orvictl.exe', '使用说明.html'))
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
if archive.read(f'{folder}/使用说明.html').count(b'src="data:image/png;base64,') != 4:
    sys.exit('the guide does not hold its four pictures')
archive.extractall(out)
EOF
say "zip: $name/ holds OrviActiveX.exe and orvictl.exe as built and 使用说明.html with its pictures"
first=$work/first/$name

product_version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
[ "$product_version" = "$version" ] || fail "the MSI's ProductVersion is '$product_version', the project's $version"
# Fixed and text file and product versions of both exes: all MAJOR.MINOR.PATCH.0.
versions=$(/usr/bin/python3 "$lib/pe_version.py" "$first/OrviActiveX.exe" "$first/orvictl.exe" | cut -d' ' -f2- | tr ' ' '\n' | sort -u)
[ "$versions" = "$version.0" ] || fail "the exes carry the versions $(echo $versions), the MSI $product_version"
grep -qF "$name.msi" "$root/README.md" || fail "README.md does not name $name.msi"
# The Chinese names are read right whatever code page the reader guesses.
product_name=$(env -u WINDOWS_LANGUAGE LANG=C.UTF-8 msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductName\t//p')
[ "$product_name" = "Orvi ActiveX 控件管理工具" ] || fail "the MSI's ProductName reads '$product_name'"
# A rebuild of the same version replaces it too: the row that finds older
# products takes this version in (256 + 512: both bounds inclusive).
msiinfo export "$msi" Upgrade | tr -d '\r' | grep -qF "$(printf '\t0.0.0\t%s\t\t768\t\tORVI_OLDER_FOUND' "$version")" ||
  fail "the MSI's Upgrade table does not take $version itself in"
say "version: the MSI's ProductVersion $product_version is the exes' ($version.0) and the file names'"

# ---- a newer MSI, signed --------------------------------------------------------
# The same exes with a higher version, for the upgrade; signed on the way with
# a self-signed certificate made here and thrown away with $work.
IFS=. read -r major minor patch <<<"$version"
newer_version=$major.$minor.$((patch + 1))
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Orvi throw-away test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" -passout pass:throwaway
ORVI_DIST=$work/newer ORVI_PACKAGE_VERSION=$newer_version ORVI_SIGN_PFX=$work/cert.pfx ORVI_SIGN_PASSWORD=throwaway \
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

msiexec() { "$WINE64" msiexec "$1" "Z:${2//\//\\}" /qn /l "Z:${work//\//\\}\\msiexec.log" </dev/null; }
# The versions of the products named as ours in the installed-programs list
# (the Uninstall keys of both registry views), one a line.
products() {
  for view in 32 64; do
    "$WINE64" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "$work/uninstall.reg" \
      /reg:$view /y >/dev/null 2>&1 && iconv -f utf-16 -t utf-8 "$work/uninstall.reg" | tr -d '\r'
  done | awk '/^\[/ { if (mine) print version; mine = 0; version = "" }
              $0 == "\"DisplayName\"=\"Orvi ActiveX 控件管理工具\"" { mine = 1 }
              /^"DisplayVersion"=/ { version = $0 }
              END { if (mine) print version }'
}
# Checks the files installed from the MSI whose files are in FOLDER.
check_installed() {
  local from=$1 files
  files=$(cd "$installed" && LC_ALL=C ls)
  [ "$files" = "$(printf 'OrviActiveX.exe\norvictl.exe\n使用说明.html')" ] || fail "installed: $(echo $files)"
  for file in OrviActiveX.exe orvictl.exe 使用说明.html; do
    cmp -s "$installed/$file" "$from/$file" || fail "the installed $file is not the packaged one"
  done
  # Windows puts a per-machine shortcut into the all-users Start menu; Wine 8
  # into the user's.
  mapfile -t links < <(find "$drive/ProgramData/Microsoft/Windows/Start Menu" \
    "$drive"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu -name '*.lnk' 2>/dev/null)
  [ ${#links[@]} = 1 ] && [ "$(basename "${links[0]}")" = "Orvi ActiveX 控件管理工具.lnk" ] ||
    fail "shortcuts: ${links[*]:-none}"
  grep -aqF 'C:\Program Files (x86)\Orvi ActiveX\OrviActiveX.exe' "${links[0]}" || fail "the shortcut has another target"
  strings -a -el "${links[0]}" | grep -qE '^.?C:\\windows\\Installer\\\{[0-9A-F-]+\}\\orvi\.ico$' ||
    fail "the shortcut has no icon"
  link=${links[0]#$drive/}
  link=${link//\//\\}
}

msiexec /i "$msi" || fail "msiexec /i $name.msi /qn ended with $?"
check_installed "$first"
[ "$(products)" = "\"DisplayVersion\"=\"$version\"" ] || fail "installed programs: $(products | tr '\n' ' ')"
say "installed silently: C:\\Program Files (x86)\\Orvi ActiveX\\ holds both exes as built and the guide; C:\\$link (target, icon); installed programs: Orvi ActiveX 控件管理工具 $version"

[ -f "$root/build/i686/bin/wow64_test.exe" ] || (cd "$root" && cmake --build --preset mingw-i686 --target wow64_test >/dev/null)
if reason=$("$lib/can-run-i686.sh" "$prefix" 2>&1); then
  usage=$("$WINE64" 'C:\Program Files (x86)\Orvi ActiveX\orvictl.exe' help </dev/null 2>&1) ||
    fail "the installed orvictl.exe help ended with $?: $usage"
  grep -qF 'orvictl - ORVI 控件的命令行安装和卸载' <<<"$usage" || fail "the installed orvictl.exe help printed: $usage"
  say "the installed orvictl.exe help ran as a 32-bit process and printed its usage"
else
  say "the installed orvictl.exe help NOT RUN: this machine cannot run 32-bit Windows programs ($reason)"
fi

msiexec /i "$newer_msi" || fail "msiexec /i of $newer_version over $version ended with $?"
check_installed "$newer"
[ "$(products)" = "\"DisplayVersion\"=\"$newer_version\"" ] || fail "after the upgrade: $(products | tr '\n' ' ')"
say "upgraded silently to $newer_version: one product left, its signed exes installed, one shortcut"

status=0
msiexec /i "$msi" || status=$?
[ $status != 0 ] && [ "$(products)" = "\"DisplayVersion\"=\"$newer_version\"" ] ||
  fail "installing $version over $newer_version ended with $status: $(products | tr '\n' ' ')"
# Refused for the newer product found, not for some other fault.
grep -aq '^Property(S): ORVI_NEWER_FOUND = {' "$work/msiexec.log" || fail "$version was refused for another reason"
check_installed "$newer"
say "$version over $newer_version is refused (it finds the newer one; msiexec's exit status $status), $newer_version stays"

msiexec /x "$newer_msi" || fail "msiexec /x /qn ended with $?"
[ -z "$(products)" ] || fail "still in installed programs: $(products)"
list_drive >"$work/after.txt"
# Windows Installer's own cache folder, there on every Windows, is made by the
# first installation in a fresh prefix; whatever went into it must be gone.
left=$(LC_ALL=C comm -13 "$work/before.txt" "$work/after.txt" | grep -vx './windows/Installer' || true)
gone=$(LC_ALL=C comm -23 "$work/before.txt" "$work/after.txt")
[ -z "$left$gone" ] || fail "after the removal, left: ${left:-nothing}; gone: ${gone:-nothing}"
say "removed silently: no file or folder of it left on C:, none in installed programs; C:\\OrviActiveX stays"
say "passed"
