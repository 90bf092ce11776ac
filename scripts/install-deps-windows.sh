#!/usr/bin/env bash
# Installs what the Windows build and its tests need on Debian 12: the MinGW-w64 cross compiler (the posix-thread
# variant: the win32 one has no std::thread in GCC 12), Wine to run the tests, the zh_CN.UTF-8 locale (under it
# Wine's ANSI code page is 936, as on a Chinese Windows), the GoogleTest sources to build for the target, zip and
# NSIS (makensis) for the packages, and for the window's tests a virtual display (xvfb-run), the X libraries Wine
# only recommends and Chinese fonts. Kept apart from install-deps.sh so that building and running on Linux does not pull Wine.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 locales googletest zip cmake ninja-build nsis
  xvfb xauth fonts-wine fonts-wqy-zenhei libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1
  libxfixes3)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "Generating the zh_CN.UTF-8 locale"
  "${sudo_cmd[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
