#!/usr/bin/env bash
# Makes the installer from this build (cpack, NSIS only, into a folder of the test) and hands it to the driver,
# which installs, starts and uninstalls under Wine on a virtual display.
# Usage: installer-test.sh WINE_RUN PREFIX CPACK_CONFIG DRIVER.exe
set -euo pipefail
wine_run=$1 prefix=$2 cpack_config=$3 driver=$4
if ! command -v makensis >/dev/null; then
  echo "skipped: makensis is not installed (scripts/install-deps-windows.sh installs it)"
  exit 77
fi
work=$(mktemp -d /tmp/quernfold-installer.XXXXXX)
trap 'rm -rf "$work"' EXIT
cpack --config "$cpack_config" -G NSIS -B "$work" >"$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
setups=("$work"/quernfold-*-setup.exe)
[ -f "${setups[0]}" ] || { echo "no installer made"; cat "$work/cpack.log"; exit 1; }
QUERNFOLD_SETUP="${setups[0]}" xvfb-run -a bash "$wine_run" "$prefix" "$driver"
