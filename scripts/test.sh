#!/usr/bin/env bash
# Builds and runs every test: the whole suite, the engine and CLI suites again under ASan + UBSan, the fuzzer for
# a minute, and the benchmark script once at a small size.
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
