#!/usr/bin/env bash
# Builds the page expander's fuzz target with clang in a build folder of its own and runs it for a minute.
#   FUZZ_SECONDS      how long to fuzz (default 60)
#   FUZZ_BUILD_DIR    where to build it (default build/fuzz)
# A finding is kept in a folder that the failure message names; run it again with
#   build/fuzz/page_expander_fuzz <file>
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-$repo/build/fuzz}

if ! command -v clang++ >/dev/null; then
  echo "SKIP fuzzing: clang++ is missing (apt-get install clang libclang-rt-14-dev)"
  exit 0
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
  echo "SKIP fuzzing: clang++ cannot link libFuzzer (apt-get install libclang-rt-14-dev)"
  exit 0
fi

cmake -S "$repo/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" >/dev/null || { echo "FAIL fuzzing: the fuzz target does not build"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quernfold-fuzz.XXXXXX")
# New inputs go to a scratch corpus, so the shipped seeds stay as they are.
timeout --kill-after=10 $((seconds + 120)) "$build/page_expander_fuzz" -max_total_time="$seconds" -timeout=10 \
  -max_len=4096 -rss_limit_mb=2048 -print_final_stats=1 -dict="$repo/fuzz/PageExpander.dict" -artifact_prefix="$work/" \
  "$work" "$repo/fuzz/corpus" >"$work/fuzz.log" 2>&1
status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log")
coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$work/fuzz.log" | tail -n 1)
findings=$(find "$work" -maxdepth 1 -type f \
  \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \))
if ((status != 0)) || [ -n "$findings" ]; then
  echo "FAIL fuzzing (status $status): findings and the log are kept in $work"
  grep -E 'ERROR|SUMMARY|runtime error|: .* outside|changed|failed' "$work/fuzz.log" | head -n 20
  exit 1
fi
echo "PASS fuzzing: ${runs:-?} runs in ${seconds}s, $coverage, no finding"
rm -rf "$work"
