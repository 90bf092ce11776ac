#!/usr/bin/env bash
# Renders the main window (fresh and after converting the example site) and the about window to PNG files under
# docs/, on a virtual display, so the pictures can be made on a machine without one.
# Needs: xvfb (xvfb-run), xauth, a CJK font (fonts-wqy-zenhei), and the Qt 6 build dependencies.
# Usage: scripts/screenshot.sh [BUILD_FOLDER]   (default: build-screenshot)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-screenshot}"

for tool in xvfb-run xauth; do
    if ! command -v "$tool" >/dev/null; then
        echo "screenshot.sh: $tool is missing (apt-get install xvfb xauth)" >&2
        exit 1
    fi
done
fc-list :lang=zh family | grep -q . || echo "screenshot.sh: no Chinese font found; the labels will show boxes" >&2

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DQUERNFOLD_BUILD_TESTS=OFF
fi
cmake --build "$build" --target quernfold-screenshot -j2

mkdir -p docs
# A fixed demo folder keeps the paths in the pictures the same from one run to the next.
demo="${TMPDIR:-/tmp}/quernfold-demo"
rm -rf "$demo"
mkdir -p "$demo/out"
cp -r examples/site "$demo/site"
trap 'rm -rf "$demo"' EXIT
LANG=C.UTF-8 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/app/quernfold-screenshot" docs "$demo/site" "$demo/out"
