#!/bin/bash
# Installs what building, running and testing need on a Debian machine.
set -euo pipefail
packages=(cmake ninja-build python3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
          mingw-w64-tools wine64 xvfb xauth xdotool x11-utils imagemagick fonts-arphic-uming
          fonts-wqy-zenhei googletest locales clang libclang-rt-14-dev file cabextract
          msitools wixl osslsigncode openssl python3-markdown)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Wine's 32-bit loader, so that wine64 runs the i686 build (the exe the tool
# ships as) as a 32-bit process on 64-bit Windows. Recommends are left out:
# they would pull in a whole 32-bit desktop stack.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "Adding the i386 architecture"
  $sudo_cmd dpkg --add-architecture i386
  $sudo_cmd apt-get update
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "Installing: wine32:i386"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends wine32:i386
fi
# Wine takes its ANSI code page from the locale: Chinese Windows uses 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi
