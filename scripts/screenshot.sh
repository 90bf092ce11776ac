#!/usr/bin/env bash
# Renders the main window (fresh and after converting the example site) and the about window to PNG files under
# docs/, on a virtual display, so the pictures can be made on a machine without one; then, where the Windows build
# tools are installed (scripts/install-deps-windows.sh), the Windows window after converting the example site,
# under Wine (docs/main-window-windows.png).
# Needs: xvfb (xvfb-run), xauth, a CJK font (fonts-wqy-zenhei), and the Qt 6 build dependencies; python3 for the
# Windows picture.
# Usage: scripts/screenshot.sh [--windows-only] [BUILD_FOLDER]   (default: build-screenshot)
set -euo pipefail
cd "$(dirname "$0")/.."
windows_only=0
if [ "${1:-}" = "--windows-only" ]; then
    windows_only=1
    shift
fi
build="${1:-build-screenshot}"

for tool in xvfb-run xauth; do
    if ! command -v "$tool" >/dev/null; then
        echo "screenshot.sh: $tool is missing (apt-get install xvfb xauth)" >&2
        exit 1
    fi
done
fc-list :lang=zh family | grep -q . || echo "screenshot.sh: no Chinese font found; the labels will show boxes" >&2

mkdir -p docs
# A fixed demo folder keeps the paths in the pictures the same from one run to the next.
demo="${TMPDIR:-/tmp}/quernfold-demo"
rm -rf "$demo"
mkdir -p "$demo/out" "$demo/out-windows"
cp -r examples/site "$demo/site"
trap 'rm -rf "$demo"' EXIT

if [ "$windows_only" = 0 ]; then
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S . -B "$build" -G Ninja -DQUERNFOLD_BUILD_TESTS=OFF
    fi
    cmake --build "$build" --target quernfold-screenshot -j2
    LANG=C.UTF-8 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$build/app/quernfold-screenshot" docs "$demo/site" "$demo/out"
fi

# The Windows window: quernfold.exe under Wine, its settings naming the demo site, converted by
# win32_window_shot.exe, which saves the window as a BMP; python3 turns that into a PNG. In a Wine desktop of its
# own, so that the window has its frame and caption without a window manager.
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
    echo "screenshot.sh: no Windows build tools (scripts/install-deps-windows.sh); the Windows picture is skipped" >&2
    exit 0
fi
cmake --preset windows >/dev/null
cmake --build --preset windows --target quernfold win32_window_shot -j2
prefix="$PWD/build/windows/wine-prefix-shot"
wine_run="$PWD/cmake/wine-run.sh"
bash "$wine_run" "$prefix" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
settings="$prefix/drive_c/users/$(id -un)/AppData/Roaming/Quernfold"
mkdir -p "$settings"
printf '[sys]\r\nworkPath=%s\r\noutputDir=%s\r\nsrcType=jsp\r\noutputType=html\r\n' \
    "$(windows_path "$demo/site")" "$(windows_path "$demo/out-windows")" >"$settings/config.ini"
(cd build/windows/ui/win32 && xvfb-run -a -s "-screen 0 1280x1024x24" bash "$wine_run" "$prefix" \
    explorer.exe /desktop=Quernfold,800x600 win32_window_shot.exe "$(windows_path "$demo/main-window-windows.bmp")")
bash "$wine_run" "$prefix" --stop
python3 - "$demo/main-window-windows.bmp" docs/main-window-windows.png <<'PYTHON'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
assert bits == 24, "a 24-bit picture is expected"
stride = (width * 3 + 3) & ~3
rows = []
for y in range(height - 1, -1, -1):  # bottom-up, BGR
    row = data[offset + y * stride: offset + y * stride + width * 3]
    rows.append(b"\0" + bytes(b for i in range(0, len(row), 3) for b in (row[i + 2], row[i + 1], row[i])))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
PYTHON
echo "screenshot.sh: docs/main-window-windows.png"
