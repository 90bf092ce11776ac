#!/usr/bin/env bash
# Builds Quernfold and starts the window; without a display, converts the bundled example site with the CLI.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/dev/app/quernfold
fi
out=$(mktemp -d /tmp/quernfold-example.XXXXXX)
echo "No display: converting examples/site into $out with quernfold-cli"
status=0
build/dev/cli/quernfold-cli examples/site "$out" || status=$?
echo
echo "Output tree:"
find "$out" -type f | sort
exit "$status"
