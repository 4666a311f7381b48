#!/bin/bash
# Builds the release (the i686 build, stripped, without the test programs) and
# writes what Windows users download into dist/:
#   OrviActiveX-<version>-x86.msi  per-machine installer (packaging/orvi.wxs)
#   OrviActiveX-<version>-x86.zip  both exes and the guide, to run without installing
# Both hold OrviActiveX.exe, orvictl.exe and the user guide 使用说明.html, made
# from docs/使用说明.md with pictures taken by scripts/screenshot.sh. The
# version is the CMake project version (CMakeLists.txt), nowhere else.
#
#   ORVI_SIGN_PFX         a PKCS#12 code-signing certificate: both exes and the
#                         MSI are signed with osslsigncode (unsigned without it)
#   ORVI_SIGN_PASSWORD    its password
#   ORVI_SIGN_TIMESTAMP   an RFC 3161 timestamp server for the signatures
#   ORVI_DIST             output folder (default dist/)
#   ORVI_PACKAGE_VERSION  a version for the MSI and the file names instead of
#                         the project's; only the upgrade test uses it, to make
#                         a newer MSI of the same exes
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
dist=${ORVI_DIST:-$root/dist}
stage=$root/build/package
say() { echo "package: $*"; }

"$lib/install-deps.sh"
cd "$root"
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 --target OrviActiveX orvictl
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/i686/CMakeCache.txt)
version=${ORVI_PACKAGE_VERSION:-$version}
# Windows Installer reads the first three fields of a product version only.
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { say "version '$version' is not MAJOR.MINOR.PATCH"; exit 1; }
name=OrviActiveX-$version-x86

rm -rf "$stage"
mkdir -p "$stage/files" "$stage/pictures" "$dist"
cp build/i686/bin/OrviActiveX.exe build/i686/bin/orvictl.exe build/i686/generated/orvi.ico "$stage/files/"

# The guide's pictures come from the shipped exe itself, with a filled list,
# and from the same build's window after a failed drop and a failed cabinet
# (failed_drops.exe, built with the tests).
. "$lib/wine-env.sh"
pictures() {
  cmake --build --preset "mingw-$1" --target OrviActiveX failed_drops >/dev/null
  ORVI_EXE=$root/build/$1/bin/OrviActiveX.exe ORVI_WINEPREFIX=$ORVI_PREFIXES/package \
    ORVI_SCREENSHOT_SETUP="$lib/sample-controls.sh" ORVI_SCREENSHOT_QUERY=1 \
    ORVI_SCREENSHOT_FAILURES=1 scripts/screenshot.sh "$stage/pictures" >/dev/null
}
if ! pictures i686; then
  say "the i686 exe did not start here (no 32-bit Windows code runs?): the pictures show the x86_64 build of the same window"
  cmake --preset mingw-x86_64 >/dev/null
  pictures x86_64
fi
/usr/bin/python3 "$lib/guide_html.py" docs/使用说明.md "$stage/pictures" "$version" "$stage/files/使用说明.html"

# Signs a file in place: sign() FILE DESCRIPTION
sign() {
  local args=(-pkcs12 "$ORVI_SIGN_PFX" -readpass "$stage/password" -h sha256 -n "$2")
  [ -n "${ORVI_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$ORVI_SIGN_TIMESTAMP")
  osslsigncode sign "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
}
if [ -n "${ORVI_SIGN_PFX:-}" ]; then
  (umask 077 && printf '%s' "${ORVI_SIGN_PASSWORD:-}" >"$stage/password")
  trap 'rm -f "$stage/password"' EXIT
  sign "$stage/files/OrviActiveX.exe" "Orvi ActiveX 控件管理工具"
  sign "$stage/files/orvictl.exe" "Orvi ActiveX 控件管理工具（命令行）"
  signed="signed with $(basename "$ORVI_SIGN_PFX")${ORVI_SIGN_TIMESTAMP:+, timestamped by $ORVI_SIGN_TIMESTAMP}"
else
  signed=""
  say "unsigned: ORVI_SIGN_PFX names no code-signing certificate"
fi

# wixl 0.101 writes table strings in the code page that libgsf guesses from the
# environment (WINDOWS_LANGUAGE, else LANG), whatever the Codepage attribute
# says: under C.UTF-8 that is 1252, where a Chinese name is lost or wixl
# crashes. With zh_CN it is 936; the database is then marked as code page 936
# (_ForceCodepage), so Windows reads the names right whatever its own code page.
msi=$dist/$name.msi
rm -f "$msi"
(cd "$stage/files" && WINDOWS_LANGUAGE=zh_CN wixl -a x86 -D Version="$version" -o "$msi" "$root/packaging/orvi.wxs")
printf '\r\n\r\n936\t_ForceCodepage\r\n' >"$stage/_ForceCodepage.idt"
# wixl 0.101 ignores IncludeMaximum: the row that finds older versions is
# written again so that it also finds this very version (a rebuild of it).
upgrade_code=$(sed -n 's/.*define UpgradeCode = "\([^"]*\)".*/\1/p' packaging/orvi.wxs)
(cd "$stage" && WINDOWS_LANGUAGE=zh_CN msibuild "$msi" -i _ForceCodepage.idt \
  -q "DELETE FROM Upgrade WHERE ActionProperty = 'ORVI_OLDER_FOUND'" \
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty)
      VALUES ('{$upgrade_code}', '0.0.0', '$version', 768, 'ORVI_OLDER_FOUND')")
[ -n "$signed" ] && sign "$msi" "Orvi ActiveX 控件管理工具"

zip=$dist/$name.zip
rm -f "$zip"
/usr/bin/python3 "$lib/make_zip.py" "$zip" "$name" "$stage/files/OrviActiveX.exe" "$stage/files/orvictl.exe" \
  "$stage/files/使用说明.html"

say "$msi ($(stat -c %s "$msi") bytes)${signed:+, $signed}"
say "$zip ($(stat -c %s "$zip") bytes)"
