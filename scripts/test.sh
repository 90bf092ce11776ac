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

# Windows: cross-built with MinGW-w64, the tests run under Wine (installed here only, not by run.sh), after the
# Linux stages: its end-to-end test compares with the dev build's quernfold-cli. QUERNFOLD_WINDOWS_STAGE=0 leaves
# it out (e.g. on a machine where Wine cannot be installed).
if [ "${QUERNFOLD_WINDOWS_STAGE:-1}" != 0 ]; then
  windows_start=$SECONDS
  bash scripts/install-deps-windows.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  ctest --preset windows -j "$jobs"
  cpack --preset windows
  # The portable zip holds both programs, the README and the licence, and nothing else (no build leftovers).
  python3 - build/windows/quernfold-cli-[0-9]*-windows-x64.zip <<'CHECK'
import sys, zipfile
names = sorted(name.partition("/")[2] for name in zipfile.ZipFile(sys.argv[1]).namelist() if not name.endswith("/"))
if names != ["LICENSE", "README.md", "quernfold-cli.exe", "quernfold.exe"]:
    sys.exit(f"{sys.argv[1]} holds {names}")
CHECK
  echo "== Windows stage: $((SECONDS - windows_start)) s"
fi
