#!/usr/bin/env bash
# The window's figures, on the offscreen platform: the cost of a batch of log lines around line 100 against around
# line 100,000 (AppendLog + Flush, and with the paint it causes), and a whole run started from the window's button
# next to quernfold-cli on the same generated site (alternating, fresh output folders, medians). Nothing is
# asserted about the timing; it fails only when a run does not convert every page.
#
#   bench/window-bench.sh [--pages N] [--style jsp|asp] [--rounds N] [--batch N] [--work DIR] [--build DIR] [--keep]
#
# Defaults: 20000 pages, jsp, 3 rounds, batches of 10 lines, work folder /tmp/quernfold-window-bench (the site is
# kept there and reused while the generator and its arguments are unchanged), build folder /tmp/build-win.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
pages=20000
style=jsp
rounds=3
batch=10
work=/tmp/quernfold-window-bench
build=/tmp/build-win
keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --pages) pages=$2; shift ;;
    --style) style=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --batch) batch=$2; shift ;;
    --work) work=$2; shift ;;
    --build) build=$2; shift ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "window-bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

jobs=${QUERNFOLD_BENCH_JOBS:-2}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUERNFOLD_BUILD_BENCH=ON \
  -DQUERNFOLD_BUILD_GUI=ON -DQUERNFOLD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quernfold-cli window_bench -j "$jobs" >/dev/null

seed=1
mkdir -p "$work"
site=$work/site-$style-$pages-s$seed
stamp="$(sha256sum "$here/sitegen.py" | cut -c1-16) $style $pages $seed"
if [ ! -f "$site.stamp" ] || [ "$(cat "$site.stamp")" != "$stamp" ]; then
  rm -rf "$site" "$site.stamp"
  python3 "$here/sitegen.py" generate --style "$style" --pages "$pages" --seed "$seed" "$site"
  echo "$stamp" >"$site.stamp"
fi
find "$site" -type f -print0 | xargs -0 cat >/dev/null

run=$work/run-$$
mkdir "$run"
cleanup() {
  if ((keep)); then echo "Output trees kept in $run"; else rm -rf "$run"; fi
}
trap cleanup EXIT

QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 "$build/bench/window/window_bench" --cli "$build/cli/quernfold-cli" \
  --site "$site" --work "$run" --pages "$pages" --type "$style" --rounds "$rounds" --batch "$batch"

# The figures belong to correct runs: the first conversion from the window and from the CLI are checked against
# the generator.
for what in win cli; do
  if ! python3 "$here/sitegen.py" check --style "$style" --pages "$pages" --seed "$seed" --sample 200 \
      "$site" "$run/$what-1"; then
    echo "window-bench.sh: the $what conversion is not what the generator expects" >&2
    exit 1
  fi
done
echo "Checked against the generator: window and quernfold-cli round 1 (200 pages each)."
