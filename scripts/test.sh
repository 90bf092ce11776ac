#!/usr/bin/env bash
# Builds and runs every test: the whole suite, the engine and CLI suites again under ASan + UBSan, the fuzzer for
# a minute, the benchmark script once at a small size, and the Windows build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

for extra in scripts/test-extra.d/*.sh; do
  [ -e "$extra" ] || continue
  echo "== $extra"
  bash "$extra"
done

# Windows: cross-built with MinGW-w64, the tests run under Wine (installed here only, not by run.sh). Not yet part
# of every run: QUERNFOLD_WINDOWS_STAGE=1 adds it while the Windows window's own tests are being finished.
if [ "${QUERNFOLD_WINDOWS_STAGE:-0}" = 1 ]; then
  bash scripts/install-deps-windows.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  ctest --preset windows -j "$jobs"
  cpack --preset windows
fi
