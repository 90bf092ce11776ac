#!/usr/bin/env bash
# Runs a Windows program under Wine as on a Chinese Windows (ANSI code page 936), in a prefix of its own.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#        wine-run.sh PREFIX --stop      ends the prefix's wineserver (after the tests)
# The prefix is made on first use (wineboot -i), under a lock so that tests started together make it once; the
# wineserver is kept running while the tests run (wineserver -p) so that each program does not start a new one.
set -euo pipefail
prefix="$1"
shift
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# Without these Wine offers to download Mono and Gecko, and under a display that dialog waits for a click.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8
unset LANGUAGE
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

if [ "${1:-}" = "--stop" ]; then
  [ -d "$prefix" ] || exit 0
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  exit 0
fi

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.quernfold-ready" ]; then
    rm -rf "$prefix"
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -w
    touch "$prefix/.quernfold-ready"
  fi
  # Neither the server nor the system processes Wine starts with it (services.exe, explorer.exe, ...) may keep
  # the caller's files open: a caller waiting for the end of a test's pipes would wait for them. So a new server
  # (status 0; 2 means one is running) is started, and its system processes brought up, with no streams of ours.
  status=0
  "$wineserver" -p </dev/null >/dev/null 2>&1 9>&- || status=$?
  if [ "$status" -eq 0 ]; then
    "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
  fi
  # The window's face SimSun (宋体) is not in Wine: a Chinese font of the system stands in, so that the window's
  # labels show their characters (screenshots, fonts-wqy-zenhei).
  if [ ! -f "$prefix/.quernfold-fonts" ]; then
    for face in SimSun 宋体; do
      "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "WenQuanYi Zen Hei" /f \
        </dev/null >/dev/null 2>&1 9>&- || true
    done
    touch "$prefix/.quernfold-fonts"
  fi
) 9>"$prefix.lock"
exec "$wine" "$@"
