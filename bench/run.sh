#!/usr/bin/env bash
# Times quernfold-cli against `cp -r` on generated sites and checks what it wrote; prints the README's table.
#
#   bench/run.sh            the full set: JSP sites of 2,000, 5,000, 20,000 and 50,000 pages and ASP sites of
#                           2,000 and 20,000 pages (those of 20,000 with 1,000 images, published with -a); 5 rounds
#                           at 20,000 pages, 3 elsewhere; then the micro-benchmarks
#   bench/run.sh --smoke    a JSP and an ASP site of 500 pages and 50 images, one round each, every page checked
#   bench/run.sh --static-only   only the static files figures (below)
#
# Options: --work DIR (default /tmp/quernfold-bench; sites are kept there and reused while the generator and its
# arguments are unchanged), --keep (keep the output trees), --no-micro (skip the micro-benchmarks), --fresh-fs
# (as root: write the output trees to a new ext4 file system in a file under DIR, mounted for the run and thrown
# away at its end, so the figures do not depend on what was deleted on the disk before; see below).
# QUERNFOLD_BENCH_BUILD=DIR builds there instead of the release preset's folder (build/release).
#
# Each site is generated, read once so it sits in the page cache, and copied and converted once untimed. Then the
# rounds alternate `cp -r` and quernfold-cli, each into a fresh folder (nothing big is deleted between rounds, as
# deleting many files slows the creation of the next ones on ext4 for some minutes, which also holds between two
# runs of this script), with `sync` before each timed command. The untimed conversion and the first timed one are
# compared with the pages the generator expects (all of them, or a sample of 200 and every large page), and every
# timed conversion must exit with status 0 and write one file per page: a fast wrong result fails the script.
# quernfold-cli is timed twice per round, with --jobs 1 and with --jobs set to the processors online, each followed
# by an unchanged re-run into the same folder (its log must be the first run's); `cp -r` keeps the timestamps, as -a
# does. On the sites of 2,000 pages one more untimed --jobs 1 run goes under `strace -f -c` for the system calls per
# page (skipped, with a note, where strace is missing). Timing is reported, never asserted.
#
# Static files (-a): a tree of 8,000 images, style sheets, scripts and fonts without pages (so the run is the copy)
# is copied by `cp -r --preserve=timestamps` and by quernfold-cli -a into fresh folders, alternating; then -a runs
# again over the unchanged tree into its last output (nothing to copy). Every copy is compared byte for byte and
# by modification time with its source.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=/tmp/quernfold-bench
smoke=0
keep=0
micro=1
pagesBench=1
freshFs=0
while (($#)); do
  case "$1" in
    --smoke) smoke=1 ;;
    --keep) keep=1 ;;
    --no-micro) micro=0 ;;
    --static-only) pagesBench=0; micro=0 ;;
    --work) work=$2; shift ;;
    --fresh-fs) freshFs=1 ;;
    -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
((smoke)) && micro=0

for tool in python3 /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is needed (bash scripts/install-deps.sh)" >&2; exit 2; }
done

# --- Build (Release) ---------------------------------------------------------------------------------------------
jobs=${QUERNFOLD_BENCH_JOBS:-2}
targets=(quernfold-cli)
((micro)) && targets+=(engine_bench)
if [ -n "${QUERNFOLD_BENCH_BUILD:-}" ]; then
  build=$QUERNFOLD_BENCH_BUILD
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUERNFOLD_BUILD_BENCH=ON \
    -DQUERNFOLD_BUILD_GUI=OFF -DQUERNFOLD_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target "${targets[@]}" -j "$jobs" >/dev/null
else
  build=$root/build/release
  (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release --target "${targets[@]}" -j "$jobs" >/dev/null)
fi
cli=$build/cli/quernfold-cli
[ -x "$cli" ] || { echo "run.sh: $cli was not built" >&2; exit 2; }
cpus=$(nproc)

# --- Plan ----------------------------------------------------------------------------------------------------------
# style pages rounds
if ((!pagesBench)); then
  plan=()
  sample=0
elif ((smoke)); then
  plan=("jsp 500 1 50" "asp 500 1 50")
  sample=100000
else
  plan=("jsp 2000 3 0" "asp 2000 3 0" "jsp 5000 3 0" "jsp 20000 5 1000" "asp 20000 5 1000" "jsp 50000 3 0")
  sample=200
fi
seed=1
mkdir -p "$work"
run=$work/run-$$
mkdir "$run"
image=
cleanup() {
  if ((keep)); then
    echo "Output trees kept in $run${image:+ (a file system mounted from $image)}"
    return
  fi
  if [ -n "$image" ]; then
    if mountpoint -q "$run"; then umount "$run" || true; fi
    rm -f "$image"
  fi
  rm -rf "$run"
}
trap cleanup EXIT
if ((freshFs)); then
  # ext4 creates files several times slower for many minutes after a big delete (its inode allocator passes over
  # the recently freed ones), which no round alternation can even out; a new file system has no such past.
  [ "$(id -u)" -eq 0 ] || { echo "run.sh: --fresh-fs needs root (mount)" >&2; exit 2; }
  image=$work/scratch-$$.ext4
  truncate -s 32G "$image"
  mkfs.ext4 -q -F -N 4000000 -E lazy_itable_init=0,lazy_journal_init=0 "$image"
  mount -o loop "$image" "$run"
fi
# Run records (what lets a re-run skip unchanged pages) stay with the output trees.
export XDG_CACHE_HOME=$run/cache
results=$run/results.tsv
syscalls=$run/syscalls.tsv
: >"$results"
: >"$syscalls"
if [ "$pagesBench" = 1 ] && ! command -v strace >/dev/null; then
  echo "run.sh: strace is missing, so no system calls are counted (apt-get install strace)" >&2
fi
generator_stamp=$(sha256sum "$here/sitegen.py" | cut -c1-16)


# Runs a command under /usr/bin/time; appends "wall user sys maxrss_kb status" to $1.
timed() {
  local record=$1
  shift
  local start end status=0
  start=$EPOCHREALTIME
  /usr/bin/time -f "%U %S %M" -o "$record.time" "$@" || status=$?
  end=$EPOCHREALTIME
  echo "$(python3 -c "print(f'{$end - $start:.4f}')") $(tail -n 1 "$record.time") $status" >>"$record"
}

failures=0
for entry in "${plan[@]+"${plan[@]}"}"; do
  read -r style pages rounds images <<<"$entry"
  if [ "$style" = asp ]; then to=htm; else to=html; fi
  site=$work/site-$style-$pages-s$seed
  stamp="$generator_stamp $style $pages $seed"
  if [ ! -f "$site.stamp" ] || [ "$(cat "$site.stamp")" != "$stamp" ]; then
    rm -rf "$site" "$site.stamp"
    python3 "$here/sitegen.py" generate --style "$style" --pages "$pages" --seed "$seed" "$site"
    echo "$stamp" >"$site.stamp"
  fi
  # Images beside the pages (about 200 KB each), copied by -a: a whole site is published, not just its pages.
  imageStamp="$stamp $images images"
  if [ "$(cat "$site.images" 2>/dev/null)" != "$imageStamp" ]; then
    rm -rf "$site/images"
    python3 - "$site/images" "$images" <<'PYEOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(11)
for i in range(count):
    path = os.path.join(root, f"g{i % 10}", f"photo{i}.jpg")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(max(64, int(rng.expovariate(1 / 200000)))))
PYEOF
    echo "$imageStamp" >"$site.images"
  fi
  assetFlag=()
  staticCount=0
  if ((images > 0)); then
    assetFlag=(-a)
    staticCount=$(find "$site/images" "$site/img" -type f | wc -l)
  fi
  echo "== $style, $pages pages: warming up" >&2
  find "$site" -type f -print0 | xargs -0 cat >/dev/null
  cp -r --preserve=timestamps "$site" "$run/$style-$pages-cp-warm"
  mkdir "$run/$style-$pages-qf-warm"
  status=0
  "$cli" -q "${assetFlag[@]+"${assetFlag[@]}"}" -t "$style" -T "$to" "$site" "$run/$style-$pages-qf-warm" \
    2>"$run/stderr.txt" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "run.sh: quernfold-cli exited with $status on $site:" >&2
    cat "$run/stderr.txt" >&2
    failures=$((failures + 1))
  fi
  if ! python3 "$here/sitecheck.py" --style "$style" --pages "$pages" --seed "$seed" --sample "$sample" \
      "$site" "$run/$style-$pages-qf-warm"; then
    echo "run.sh: the converted $style site of $pages pages is not what the generator expects" >&2
    failures=$((failures + 1))
  fi

  # System calls of a whole --jobs 1 run, per converted page.
  if [ "$pages" = 2000 ] && command -v strace >/dev/null; then
    mkdir "$run/$style-$pages-strace"
    strace -f -c -o "$run/$style-$pages.strace" "$cli" -q --jobs 1 -t "$style" -T "$to" "$site" \
      "$run/$style-$pages-strace" 2>/dev/null || true
    calls=$(awk '$NF == "total" { print $4 }' "$run/$style-$pages.strace")
    [ -n "$calls" ] && echo "$style $pages $calls" >>"$syscalls"
  fi

  for ((r = 1; r <= rounds; r++)); do
    copy=$run/$style-$pages-cp-$r
    conv=$run/$style-$pages-qf-$r
    conv1=$run/$style-$pages-qf1-$r
    mkdir "$conv" "$conv1"
    order=(cp qf1 qf)
    ((r % 3 == 2)) && order=(qf1 qf cp)
    ((r % 3 == 0)) && order=(qf cp qf1)
    for what in "${order[@]}"; do
      sync
      case "$what" in
        cp) timed "$run/$style-$pages.cp" cp -r --preserve=timestamps "$site" "$copy" ;;
        # The log goes to a file, as it would from a terminal session that keeps it.
        qf) timed "$run/$style-$pages.qf" "$cli" "${assetFlag[@]+"${assetFlag[@]}"}" --jobs "$cpus" -t "$style" \
              -T "$to" "$site" "$conv" >"$run/log.txt" 2>"$run/stderr.txt" ;;
        qf1) timed "$run/$style-$pages.qf1" "$cli" "${assetFlag[@]+"${assetFlag[@]}"}" --jobs 1 -t "$style" \
               -T "$to" "$site" "$conv1" >"$run/log1.txt" 2>"$run/stderr.txt" ;;
      esac
    done
    # The same runs again into the same folders, nothing changed: only the record is checked, and the log must
    # be the first run's, byte for byte, but for the static files' summary line (now all unchanged).
    for variant in qf1 qf; do
      if [ "$variant" = qf1 ]; then j=1; else j=$cpus; fi
      sync
      timed "$run/$style-$pages.$variant-again" "$cli" "${assetFlag[@]+"${assetFlag[@]}"}" --jobs "$j" -t "$style" \
        -T "$to" "$site" "$run/$style-$pages-$variant-$r" >"$run/again.txt" 2>"$run/stderr.txt"
      first=$run/log1.txt
      [ "$variant" = qf ] && first=$run/log.txt
      if ! cmp -s <(grep -v '^复制静态文件' "$first") <(grep -v '^复制静态文件' "$run/again.txt"); then
        echo "run.sh: round $r on $style $pages ($variant): the unchanged re-run logged otherwise than the first" >&2
        failures=$((failures + 1))
      fi
    done
    for variant in qf qf1; do
      status=$(tail -n 1 "$run/$style-$pages.$variant" | cut -d' ' -f5)
      written=$(find "$run/$style-$pages-$variant-$r" -type f | wc -l)
      if [ "$status" -ne 0 ] || [ "$written" -ne "$((pages + staticCount))" ]; then
        echo "run.sh: round $r on $style $pages ($variant): exit status $status, $written files for $pages pages" \
          "and $staticCount static files" >&2
        failures=$((failures + 1))
      fi
    done
    # What is written does not depend on --jobs.
    if ! cmp -s "$run/log.txt" <(sed "s|$conv1|$conv|g" "$run/log1.txt") || ! diff -r -q "$conv" "$conv1" >/dev/null; then
      echo "run.sh: round $r on $style $pages: --jobs $cpus and --jobs 1 wrote different logs or trees" >&2
      failures=$((failures + 1))
    fi
  done
  # A timed conversion is checked too (after the timing), so the figures belong to a correct run.
  if ! python3 "$here/sitecheck.py" --style "$style" --pages "$pages" --seed "$seed" --sample "$sample" \
      "$site" "$run/$style-$pages-qf-1"; then
    echo "run.sh: the first timed conversion of the $style site of $pages pages is not what the generator expects" >&2
    failures=$((failures + 1))
  fi
  echo "$style $pages $rounds $run/$style-$pages.cp $run/$style-$pages.qf1 1 $images" >>"$results"
  echo "$style $pages $rounds $run/$style-$pages.cp $run/$style-$pages.qf $cpus $images" >>"$results"
done

# --- Static files --------------------------------------------------------------------------------------------------
if ((smoke)); then staticFiles=500; staticRounds=1; else staticFiles=8000; staticRounds=3; fi
assets=$work/static-$staticFiles
if [ ! -f "$assets.stamp" ]; then
  rm -rf "$assets"
  python3 - "$assets" "$staticFiles" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
kinds = [("img", "png", 40000), ("img", "jpg", 60000), ("css", "css", 6000), ("js", "js", 20000), ("fonts", "woff2", 30000)]
for i in range(count):
    folder, ext, mean = kinds[i % len(kinds)]
    path = os.path.join(root, f"s{i % 40}", folder, f"f{i}.{ext}")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(max(16, int(rng.expovariate(1 / mean)))))
EOF
  touch "$assets.stamp"
fi
find "$assets" -type f -print0 | xargs -0 cat >/dev/null
for ((r = 1; r <= staticRounds; r++)); do
  order=(cp qf)
  ((r % 2 == 0)) && order=(qf cp)
  for what in "${order[@]}"; do
    sync
    if [ "$what" = cp ]; then
      timed "$run/static.cp" cp -r --preserve=timestamps "$assets" "$run/static-cp-$r"
    else
      mkdir "$run/static-qf-$r"
      timed "$run/static.qf" "$cli" -q -a "$assets" "$run/static-qf-$r" 2>"$run/stderr.txt"
    fi
  done
  sync
  timed "$run/static.again" "$cli" -q -a "$assets" "$run/static-qf-$r" 2>"$run/stderr.txt"
done
# Same bytes and the same modification times as the sources, in every round.
for ((r = 1; r <= staticRounds; r++)); do
  if ! python3 - "$assets" "$run/static-qf-$r" <<'EOF'
import filecmp, os, sys
source, copy = sys.argv[1], sys.argv[2]
bad = 0
for folder, _, names in os.walk(source):
    for name in names:
        a = os.path.join(folder, name)
        b = os.path.join(copy, os.path.relpath(a, source))
        same = os.path.isfile(b) and filecmp.cmp(a, b, shallow=False)
        if not same or os.stat(a).st_mtime_ns != os.stat(b).st_mtime_ns:
            bad += 1
sys.exit(1 if bad else 0)
EOF
  then
    echo "run.sh: the static files copied in round $r differ from their sources" >&2
    failures=$((failures + 1))
  fi
done
for record in static.qf static.again; do
  if awk '$5 != 0 { bad = 1 } END { exit !bad }' "$run/$record"; then
    echo "run.sh: quernfold-cli -a did not exit with 0 ($record)" >&2
    failures=$((failures + 1))
  fi
done
python3 - "$run" "$assets" "$staticFiles" "$smoke" <<'EOF'
import os, statistics, sys
run, assets, count, smoke = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "1"
def Walls(name):
    return [float(line.split()[0]) for line in open(os.path.join(run, name))]
size = sum(os.path.getsize(os.path.join(d, n)) for d, _, names in os.walk(assets) for n in names) / 1e6
cp, qf, again = (statistics.median(Walls(n)) for n in ("static.cp", "static.qf", "static.again"))
print()
print("| static files | MB | cp -r --preserve=timestamps (s) | quernfold-cli -a (s) | ratio | second run (s) | second / first |")
print("|---:|---:|---:|---:|---:|---:|---:|")
print(f"| {count:,} | {size:.0f} | {cp:.2f} | {qf:.2f} | {qf / cp:.2f} | {again:.2f} | {again / qf:.2f} |")
print("Rounds (s): cp " + " ".join(f"{w:.2f}" for w in Walls("static.cp")) + "; -a "
      + " ".join(f"{w:.2f}" for w in Walls("static.qf")) + "; again " + " ".join(f"{w:.2f}" for w in Walls("static.again")))
if not smoke:
    print(f"static files: -a / cp -r --preserve=timestamps = {qf / cp:.2f}, at most 1.1: " + ("met" if qf / cp <= 1.1 else "NOT met")
          + f"; second run / first = {again / qf:.2f}, at most 0.2: " + ("met" if again / qf <= 0.2 else "NOT met"))
EOF

# --- Table -----------------------------------------------------------------------------------------------------------
[ -s "$results" ] && python3 - "$results" "$syscalls" "$smoke" <<'EOF'
import os
import statistics
import sys

results, syscallsPath, smoke = sys.argv[1], sys.argv[2], sys.argv[3] == "1"

def Rounds(path):
    rows = []
    if not os.path.exists(path):
        return rows
    with open(path) as f:
        for line in f:
            wall, user, sys_, rss, status = line.split()
            rows.append((float(wall), float(user) + float(sys_), int(rss), int(status)))
    return rows

calls = {}
for line in open(syscallsPath):
    style, pages, count = line.split()
    calls[(style, int(pages))] = int(count) / int(pages)

print()
print("| site | pages | images (-a) | --jobs | cp -r (s) | quernfold-cli (s) | pages/s | ratio to cp -r | CPU ratio "
      "| peak RSS (MB) | µs/page | system calls/page | unchanged re-run (s) | re-run / first | re-run peak RSS (MB) |")
print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
perPage = {}
verdicts = []
walls = {}
for line in open(results):
    style, pages, rounds, cpPath, qfPath, jobs, images = line.split()
    pages, images = int(pages), int(images)
    cp, qf, again = Rounds(cpPath), Rounds(qfPath), Rounds(qfPath + "-again")
    cpWall = statistics.median(r[0] for r in cp)
    qfWall = statistics.median(r[0] for r in qf)
    cpCpu = statistics.median(r[1] for r in cp)
    qfCpu = statistics.median(r[1] for r in qf)
    rss = max(r[2] for r in qf) / 1024
    ratio = qfWall / cpWall
    cpuRatio = qfCpu / cpCpu if cpCpu >= 0.1 else None  # /usr/bin/time counts in 10 ms steps
    againWall = statistics.median(r[0] for r in again)
    againRss = max(r[2] for r in again) / 1024
    walls[(style, pages, jobs == "1")] = (qfWall, ratio, cpuRatio)
    if jobs == "1":
        perPage[(style, pages)] = qfWall / pages * 1e6
    perCall = f"{calls[(style, pages)]:.1f}" if jobs == "1" and (style, pages) in calls else "-"
    print(f"| {style.upper()} | {pages:,} | {images:,} | {jobs} | {cpWall:.2f} | {qfWall:.2f} | {pages / qfWall:,.0f} | "
          f"{ratio:.2f} | {'-' if cpuRatio is None else f'{cpuRatio:.2f}'} | {rss:.1f} | {qfWall / pages * 1e6:.0f} | "
          f"{perCall} | {againWall:.2f} | {againWall / qfWall:.2f} | {againRss:.1f} |")
    site = f"{style.upper()}, {pages:,} pages" + (f" + {images:,} images" if images else "")
    if pages == 20000:
        if jobs == "1":
            verdicts.append(f"target 2 ({site}, --jobs 1): {ratio:.3f} x cp -r, at most 1.25: "
                            + ("met" if ratio <= 1.25 else "NOT met"))
        else:
            verdicts.append(f"target 1 ({site}, --jobs {jobs}): {ratio:.3f} x cp -r, at most 0.85: "
                            + ("met" if ratio <= 0.85 else "NOT met")
                            + ("" if cpuRatio is None else f"; CPU ratio {cpuRatio:.2f}"))
    for label, value in (("", rss), ("unchanged re-run, ", againRss)):
        verdicts.append(f"target 4 ({site}, {label}--jobs {jobs}): peak RSS {value:.1f} MB, at most 32: "
                        + ("met" if value <= 32 else "NOT met"))
    verdicts.append(f"target 5 ({site}, --jobs {jobs}): unchanged re-run / first = {againWall / qfWall:.3f}, "
                    "at most 0.2: " + ("met" if againWall / qfWall <= 0.2 else "NOT met"))
for (style, pages), perPageCalls in sorted(calls.items(), reverse=True):
    verdicts.append(f"target 4 ({style.upper()}, {pages:,} pages, --jobs 1): {perPageCalls:.1f} system calls per "
                    "page, at most 14: " + ("met" if perPageCalls <= 14 else "NOT met"))
print()
print("Medians of the rounds (wall time); CPU ratio = (user + sys) of quernfold-cli over that of cp -r; system calls")
print("per page: `strace -f -c` of a whole --jobs 1 run, calls over pages converted; the unchanged re-run goes into")
print("the first run's folder right after it, in the same round.")
print()
for (style, pages, one), (wall, ratio, cpuRatio) in sorted(walls.items()):
    if one and (style, pages, False) in walls:
        many, manyRatio, manyCpu = walls[(style, pages, False)]
        print(f"{style.upper()} {pages:,}: --jobs N / --jobs 1 = {many / wall:.2f} (same rounds)")
        if pages == 20000:
            verdicts.append(f"target 3 ({style.upper()}, 20,000 pages): --jobs N / --jobs 1 = {many / wall:.3f}, "
                            "at most 0.7: " + ("met" if many / wall <= 0.7 else "NOT met"))
print()
print("Rounds (s), in the order run:")
for line in open(results):
    style, pages, rounds, cpPath, qfPath, jobs, images = line.split()
    cp, qf, again = Rounds(cpPath), Rounds(qfPath), Rounds(qfPath + "-again")
    print(f"  {style.upper()} {int(pages):,} --jobs {jobs}: cp -r " + " ".join(f"{r[0]:.2f}" for r in cp)
          + "; quernfold-cli " + " ".join(f"{r[0]:.2f}" for r in qf)
          + "; re-run " + " ".join(f"{r[0]:.2f}" for r in again))
if ("jsp", 5000) in perPage and ("jsp", 50000) in perPage:
    scale = perPage[("jsp", 50000)] / perPage[("jsp", 5000)]
    verdicts.append(f"target 4: time per page at 50,000 / at 5,000 (--jobs 1) = {scale:.2f}, within 0.8-1.2: "
                    + ("met" if 0.8 <= scale <= 1.2 else "NOT met"))
if not smoke:
    print()
    for verdict in sorted(verdicts, key=lambda verdict: verdict.split(" (")[0].split(":")[0]):  # by target, stable
        print(verdict)
EOF

if ((micro)); then
  echo
  echo "== Micro-benchmarks (engine_bench)"
  "$build/bench/engine_bench" --benchmark_min_time=0.5 2>&1 | grep -E "^(BM_|Benchmark|---)" || true
fi

if ((failures)); then
  echo "run.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "All conversions checked: correct."
