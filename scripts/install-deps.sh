#!/usr/bin/env bash
# Installs what building and testing Quernfold needs on Debian 12, skipping what is already there.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev googletest
          libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev xvfb xauth qt6-translations-l10n time python3
          fonts-wqy-zenhei fonts-noto-cjk fonts-arphic-uming fonts-droid-fallback
          dpkg-dev lintian appstream desktop-file-utils groff man-db bash-completion)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
