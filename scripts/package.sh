#!/bin/bash
# Builds the release (the i686 build, stripped, without the test programs) and
# writes what Windows users download into dist/:
#   OrviActiveX-<version>-x86.msi  per-machine installer (packaging/orvi.wxs)
#   OrviActiveX-<version>-x86.zip  both exes and the guides, to run without installing
# Both hold OrviActiveX.exe, orvictl.exe, the user guide 使用说明.html (made
# from docs/使用说明.md with pictures taken by scripts/screenshot.sh) and the
# IT staff's guide 管理员指南.html (docs/管理员指南.md). The version is the
# CMake project version (CMakeLists.txt), nowhere else.
#
# Two runs of one commit give the same bytes: every time in the archive and
# the database is the commit's, the codes are made from the version and the
# package's bytes, the exes are built without link times, and the pictures are
# taken in a Wine prefix made afresh for each run.
#
#   SOURCE_DATE_EPOCH     the time stamped into the MSI and the zip (default:
#                         the time of the commit checked out)
#   ORVI_SIGN_PFX         a PKCS#12 code-signing certificate: both exes and the
#                         MSI are signed with osslsigncode (unsigned without it)
#   ORVI_SIGN_PASSWORD    its password
#   ORVI_SIGN_TIMESTAMP   an RFC 3161 timestamp server for the signatures
#   ORVI_DIST             output folder (default dist/)
#   ORVI_PACKAGE_VERSION  a version for the MSI and the file names instead of
#                         the project's; only the upgrade test uses it, to make
#                         a newer MSI of the same exes that stands for a newer
#                         release (its File table gives the exes VERSION.0)
#   ORVI_BUILD_DIR        the i686 build folder (default build/i686) and
#   ORVI_STAGE            the folder of what goes into the package (default
#                         build/package): the package check builds a second
#                         release elsewhere to compare the two
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
dist=${ORVI_DIST:-$root/dist}
build=${ORVI_BUILD_DIR:-$root/build/i686}
stage=${ORVI_STAGE:-$root/build/package}
started=$SECONDS
# One line per step, with the seconds since the start.
say() { echo "package: [$((SECONDS - started)) s] $*"; }

say "checking the packages it needs"
"$lib/install-deps.sh"
cd "$root"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    { say "no commit to take the release's time from: set SOURCE_DATE_EPOCH"; exit 1; }
fi
export SOURCE_DATE_EPOCH
# Every tool that writes a time writes it as UTC, whatever the machine's zone.
export TZ=UTC
say "the release's time is the commit's: $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') UTC"

say "building OrviActiveX.exe and orvictl.exe (i686) in ${build#"$root"/}"
# The exes are the same bytes however they are built (scripts/test.sh's
# builds, which package.sh may find up to date, included): the build does
# not see the release's time.
build_targets() { env -u SOURCE_DATE_EPOCH cmake --build "$@"; }
cmake --preset mingw-i686 -B "$build" >/dev/null
build_targets "$build" --target OrviActiveX orvictl
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
version=${ORVI_PACKAGE_VERSION:-$version}
# Windows Installer reads the first three fields of a product version only.
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { say "version '$version' is not MAJOR.MINOR.PATCH"; exit 1; }
name=OrviActiveX-$version-x86

# The codes: the product code a name-based UUID of the upgrade code and the
# version, so every build of a version is the same product to detection
# rules and to msiexec /x; the package code (below) one of the package's
# own bytes, so two packages differ in it exactly when they differ.
upgrade_code=$(sed -n 's/.*define UpgradeCode = "\([^"]*\)".*/\1/p' packaging/orvi.wxs)
name_uuid() { /usr/bin/python3 -c 'import sys, uuid; print("{%s}" % str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$@"; }
product_code=$(name_uuid "$upgrade_code" "ProductCode $version")

rm -rf "$stage"
mkdir -p "$stage/files" "$stage/pictures" "$dist"
cp "$build/bin/OrviActiveX.exe" "$build/bin/orvictl.exe" "$build/generated/orvi.ico" "$stage/files/"

# The guide's pictures come from the shipped exe itself, with a filled list,
# and from the same build's window after a failed drop and a failed cabinet
# (failed_drops.exe, built with the tests). Each attempt takes them in a
# prefix of its own made afresh, so nothing an earlier run registered (the
# test control of the failed cabinet, say) shows in the list.
. "$lib/wine-env.sh"
picture_prefix=
remove_picture_prefix() {
  [ -n "$picture_prefix" ] || return 0
  WINEPREFIX=$picture_prefix "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$picture_prefix" "$picture_prefix.lock"
  picture_prefix=
}
cleanup() {
  remove_picture_prefix
  rm -f "$stage/password"
}
trap cleanup EXIT
# Usage: pictures BUILD_FOLDER (called as a condition, so every step says
# itself whether it failed)
pictures() {
  say "building failed_drops.exe in ${1#"$root"/} for the failure pictures"
  build_targets "$1" --target OrviActiveX failed_drops || return 1
  remove_picture_prefix
  mkdir -p "$ORVI_PREFIXES"
  picture_prefix=$(mktemp -d "$ORVI_PREFIXES/package.XXXXXX") || return 1
  say "making a fresh Wine prefix for the pictures: ${picture_prefix#"$root"/}"
  "$lib/make-prefix.sh" "$picture_prefix" unmanaged || return 1
  say "taking the guide's pictures from ${1#"$root"/}/bin/OrviActiveX.exe"
  ORVI_EXE=$1/bin/OrviActiveX.exe ORVI_WINEPREFIX=$picture_prefix \
    ORVI_SCREENSHOT_SETUP="$lib/sample-controls.sh" ORVI_SCREENSHOT_QUERY=1 \
    ORVI_SCREENSHOT_FAILURES=1 scripts/screenshot.sh "$stage/pictures"
}
if ! pictures "$build"; then
  say "the i686 exe did not start here (no 32-bit Windows code runs?): the pictures show the x86_64 build of the same window"
  cmake --preset mingw-x86_64 >/dev/null
  pictures "$root/build/x86_64"
fi
remove_picture_prefix
say "writing 使用说明.html and 管理员指南.html"
/usr/bin/python3 "$lib/guide_html.py" docs/使用说明.md "$stage/pictures" "$version" "$stage/files/使用说明.html"
# The IT staff's guide names this version's product code under its title.
/usr/bin/python3 "$lib/guide_html.py" docs/管理员指南.md "$stage/pictures" "$version" "$stage/files/管理员指南.html" \
  "$product_code"

# Signs a file in place: sign() FILE DESCRIPTION
sign() {
  local args=(-pkcs12 "$ORVI_SIGN_PFX" -readpass "$stage/password" -h sha256 -n "$2")
  [ -n "${ORVI_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$ORVI_SIGN_TIMESTAMP")
  osslsigncode sign "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
}
if [ -n "${ORVI_SIGN_PFX:-}" ]; then
  say "signing both exes"
  (umask 077 && printf '%s' "${ORVI_SIGN_PASSWORD:-}" >"$stage/password")
  sign "$stage/files/OrviActiveX.exe" "Orvi ActiveX 控件管理工具"
  sign "$stage/files/orvictl.exe" "Orvi ActiveX 控件管理工具（命令行）"
  signed="signed with $(basename "$ORVI_SIGN_PFX")${ORVI_SIGN_TIMESTAMP:+, timestamped by $ORVI_SIGN_TIMESTAMP}"
else
  signed=""
  say "unsigned: ORVI_SIGN_PFX names no code-signing certificate"
fi
# The cabinet inside the MSI and the zip keep the files' times: the commit's.
touch -d "@$SOURCE_DATE_EPOCH" "$stage/files/"*

# wixl 0.101 writes table strings in the code page that libgsf guesses from the
# environment (WINDOWS_LANGUAGE, else LANG), whatever the Codepage attribute
# says: under C.UTF-8 that is 1252, where a Chinese name is lost or wixl
# crashes. With zh_CN it is 936; the database is then marked as code page 936
# (_ForceCodepage), so Windows reads the names right whatever its own code page.
msi=$dist/$name.msi
rm -f "$msi"
say "writing $name.msi with wixl (ProductCode $product_code)"
(cd "$stage/files" && WINDOWS_LANGUAGE=zh_CN wixl -a x86 -D Version="$version" -D ProductCode="$product_code" \
  -o "$msi" "$root/packaging/orvi.wxs")
printf '\r\n\r\n936\t_ForceCodepage\r\n' >"$stage/_ForceCodepage.idt"
# The summary information as wixl 0.101 cannot write it: in the product's
# language (Intel;2052 and Chinese texts, stored in code page 936 as its
# code page property says; wixl stores UTF-8 there), with the commit's time
# for both dates and the package code given.
# Usage: summary PACKAGE_CODE
summary() {
  local when
  when=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y/%m/%d %H:%M:%S')
  mkdir -p "$stage/summary"
  printf '%s\r\n' 'PropertyId	Value' 'i2	l255' '_SummaryInformation	PropertyId' \
    '1	936' '2	安装数据库' '3	Orvi ActiveX 控件管理工具' '4	Orvisoft' '5	安装程序' \
    '6	此安装数据库包含安装 Orvi ActiveX 控件管理工具所需的逻辑和数据。' '7	Intel;2052' \
    "9	$1" "12	$when" "13	$when" '14	500' '15	2' '18	msitools 0.101' '19	2' |
    iconv -f utf-8 -t cp936 >"$stage/summary/_SummaryInformation.idt"
  (cd "$stage/summary" && WINDOWS_LANGUAGE=zh_CN msibuild "$msi" -i _SummaryInformation.idt)
}
# What wixl 0.101 leaves out or gets wrong, written with msibuild:
# - it ignores IncludeMaximum: the row that finds older versions is written
#   again so that it also finds this very version built with another product
#   code (the builds before product codes were made from the version);
# - it ignores After: the action filling ARPINSTALLLOCATION goes right after
#   CostFinalize (wixl puts it after InstallFinalize, too late for
#   RegisterProduct to write InstallLocation), as a plain type 51 action
#   (wixl adds the no-impersonation bit, which only deferred actions take);
# - it writes no file versions: the exes get theirs, as their version
#   resources give them, and their resources' language (0x0804, 2052), and
#   lose the file hashes Windows Installer keeps for unversioned files only.
say "completing $name.msi with msibuild: code page, Upgrade row, InstallLocation, file versions, summary information"
queries=(-q "DELETE FROM Upgrade WHERE ActionProperty = 'ORVI_OLDER_FOUND'"
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty)
      VALUES ('{$upgrade_code}', '0.0.0', '$version', 768, 'ORVI_OLDER_FOUND')"
  -q "UPDATE InstallExecuteSequence SET Sequence = 1001 WHERE Action = 'SetInstallLocation'"
  -q "UPDATE CustomAction SET Type = 51 WHERE Action = 'SetInstallLocation'")
for exe in OrviActiveX.exe orvictl.exe; do
  file_version=$(/usr/bin/python3 "$lib/pe_version.py" "$stage/files/$exe" | cut -d' ' -f2)
  # A package made with ORVI_PACKAGE_VERSION stands for that release: its
  # exes are newer to Windows Installer too.
  [ -n "${ORVI_PACKAGE_VERSION:-}" ] && file_version=$version.0
  queries+=(-q "UPDATE File SET Version = '$file_version', Language = '2052' WHERE File = '$exe'"
    -q "DELETE FROM MsiFileHash WHERE File_ = '$exe'")
done
(cd "$stage" && WINDOWS_LANGUAGE=zh_CN msibuild "$msi" -i _ForceCodepage.idt "${queries[@]}")
summary '{00000000-0000-0000-0000-000000000000}'
summary "$(name_uuid "$upgrade_code" "PackageCode $(sha256sum "$msi" | cut -d' ' -f1)")"
[ -n "$signed" ] && say "signing $name.msi" && sign "$msi" "Orvi ActiveX 控件管理工具"

zip=$dist/$name.zip
rm -f "$zip"
say "writing $name.zip"
/usr/bin/python3 "$lib/make_zip.py" "$zip" "$name" "$stage/files/OrviActiveX.exe" "$stage/files/orvictl.exe" \
  "$stage/files/使用说明.html" "$stage/files/管理员指南.html"

say "$msi ($(stat -c %s "$msi") bytes, SHA-256 $(sha256sum "$msi" | cut -c1-16)…)${signed:+, $signed}"
say "$zip ($(stat -c %s "$zip") bytes, SHA-256 $(sha256sum "$zip" | cut -c1-16)…)"
