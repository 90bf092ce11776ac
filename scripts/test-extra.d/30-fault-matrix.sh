#!/usr/bin/env bash
# The fault matrix: quernfold-cli end to end against file-system faults and hostile sites. Every case checks the
# exit status, the log lines, the output tree, and that every file of the site (and the files beside it that links
# point to) is byte-identical after the run. One line per case: PASS, FAIL or SKIP; exit status 1 on any failure.
#
#   QUERNFOLD_CLI   the program to test (default: build/dev/cli/quernfold-cli)
#   FAULT_CASES     names of the cases to run, separated by spaces (default: all)
#   KEEP_WORK=1     keep the work folder for a look afterwards
set -uo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
script="$repo/scripts/test-extra.d/$(basename "$0")"
cli=${QUERNFOLD_CLI:-$repo/build/dev/cli/quernfold-cli}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac

all_cases=(unreadable-page unreadable-folder output-not-writable disk-full file-too-large fifo-and-device
           link-loop include-link-outside dotdot-and-absolute-include single-line-200mb binary-pages
           invalid-utf8-and-gbk-names planted-link-at-output output-is-site-root)

# ---------------------------------------------------------------------------------------------------------------
# Helpers for one case; they run in the case's own bash, in its folder.

fail() { echo "$*" >>"$case_dir/failures"; }
skip() {
  echo "$*" >"$case_dir/skipped"
  exit 77
}
root_user() { [ "$(id -u)" -eq 0 ]; }

# Runs the CLI (as nobody when the case asks for it) under a time limit; status in $status, stdout in ./stdout.
as_nobody=0
run_cli() {
  local limit=${CLI_TIMEOUT:-60} prefix=()
  if ((as_nobody)) && root_user; then prefix=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
  timeout --kill-after=5 "$limit" "${prefix[@]}" "$cli" "$@" >"$case_dir/stdout" 2>"$case_dir/stderr"
  status=$?
  if ((status == 124 || status == 137)); then fail "quernfold-cli did not finish within ${limit}s"; fi
}

expect_status() { [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"; }
# Fixed text expected among the log lines (stdout).
expect_log() { grep -qF -- "$1" "$case_dir/stdout" || fail "no log line holding: $1"; }
expect_no_log() { ! grep -qF -- "$1" "$case_dir/stdout" || fail "a log line holds: $1"; }
expect_stderr() { grep -qF -- "$1" "$case_dir/stderr" || fail "stderr does not hold: $1"; }
expect_log_count() {
  local count
  count=$(grep -cF -- "$1" "$case_dir/stdout")
  [ "$count" -eq "$2" ] || fail "$count log lines hold '$1', expected $2"
}
# The output tree as "type path" lines (f file, d folder, l link, p FIFO), sorted, compared with the arguments.
tree_of() { (cd "$1" && find . -mindepth 1 -printf '%y %P\n' | LC_ALL=C sort); }
expect_tree() {
  local folder=$1
  shift
  local expected actual
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  actual=$(tree_of "$folder")
  [ "$actual" == "$expected" ] || fail "output tree of $folder:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}
expect_no_temporary_files() {
  local left
  left=$(find "$@" -name '.quernfold-*.tmp' 2>/dev/null)
  [ -z "$left" ] || fail "temporary files left: $left"
}
expect_file() { cmp -s "$1" <(printf '%b' "$2") || fail "$1 differs from the expected bytes"; }
expect_not_in() { ! grep -rqaF -- "$2" "$1" 2>/dev/null || fail "$1 holds $2"; }

# Hashes of every regular file below the folders (links not followed, their targets recorded instead).
snapshot() {
  local folder
  for folder in "$@"; do
    find "$folder" -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum
    find "$folder" -type l -printf 'link %p -> %l\n' | LC_ALL=C sort
  done
}
remember_sources() { snapshot "$@" >"$case_dir/before"; sources=("$@"); }
# Every file of the site that existed before the run is still there, byte for byte (new files may have appeared,
# when the output folder lies inside the site).
expect_sources_unchanged() {
  snapshot "${sources[@]}" >"$case_dir/after"
  local line
  while IFS= read -r line; do
    grep -qxF -- "$line" "$case_dir/after" || fail "source changed or gone: $line"
  done <"$case_dir/before"
}

page() { mkdir -p "$(dirname "$1")" && printf '%b' "$2" >"$1"; }

# ---------------------------------------------------------------------------------------------------------------
# The cases. Each builds a site below its folder, runs the CLI and checks what came of it.

case_unreadable-page() {
  root_user && ! command -v setpriv >/dev/null && skip "running as root and setpriv is missing"
  page site/a.jsp 'A\r\n'
  page site/b.jsp 'secret B\r\n'
  chmod 000 site/b.jsp
  mkdir out && chmod 777 out
  chmod -R go+rX . && chmod 000 site/b.jsp
  remember_sources site
  as_nobody=1 run_cli site out
  expect_status 1
  expect_log ">>生成out/a.html成功！"
  expect_log "提取site/b.jsp时异常：Permission denied"
  expect_log "site/b.jsp文件转换时异常,原因为：Permission denied"
  expect_log "其中：成功1个"
  expect_log "      失败1个"
  # A failed page publishes nothing: no empty file under its output name.
  expect_tree out "f a.html"
  expect_file out/a.html 'A\r\n'
  expect_no_temporary_files out
  expect_sources_unchanged
}

case_unreadable-folder() {
  root_user && ! command -v setpriv >/dev/null && skip "running as root and setpriv is missing"
  page site/a.jsp 'A\r\n'
  page site/sub/c.jsp 'C\r\n'
  mkdir out && chmod 777 out
  chmod -R go+rX . && chmod 000 site/sub
  remember_sources site
  as_nobody=1 run_cli site out
  # A folder that cannot be listed aborts the run before any page: no summary, no output.
  expect_status 2
  expect_stderr "读取文件夹site/sub/时异常,原因为：Permission denied"
  expect_no_log "共转换文件"
  expect_tree out
  expect_sources_unchanged
}

case_output-not-writable() {
  root_user && ! command -v setpriv >/dev/null && skip "running as root and setpriv is missing"
  page site/a.jsp 'A\r\n'
  page site/sub/b.jsp 'B\r\n'
  mkdir -p out/sub
  chmod -R go+rX . && chmod 555 out out/sub
  remember_sources site
  as_nobody=1 run_cli site out
  expect_status 1
  expect_log "site/a.jsp文件转换时异常,原因为：Permission denied"
  expect_log "site/sub/b.jsp文件转换时异常,原因为：Permission denied"
  expect_log "其中：成功0个"
  expect_tree out "d sub"
  expect_sources_unchanged
}

case_disk-full() {
  # As root a mount namespace is enough; as another user, a user namespace makes the mount possible.
  local unshare=(unshare -m)
  "${unshare[@]}" true 2>/dev/null || unshare=(unshare -r -m)
  "${unshare[@]}" true 2>/dev/null || skip "unshare -m is not permitted here, so no small tmpfs can be mounted"
  page site/a.jsp 'small page\r\n'
  head -c 300000 /dev/zero | tr '\0' 'x' >site/b.jsp
  page site/c.jsp 'after the full disk\r\n'
  mkdir out out2 logdisk
  remember_sources site
  # The tmpfs exists only inside the new mount namespace: the run and every look at its output happen there.
  cat >inside.sh <<'EOF'
mount -t tmpfs -o size=128k,mode=0755 quernfold-full out || exit 99
timeout --kill-after=5 60 "$1" site out >stdout 2>stderr
echo $? >status
(cd out && find . -mindepth 1 -printf '%y %P %s\n' | LC_ALL=C sort) >tree
cat out/a.html >a.html 2>/dev/null
# The log file on a full disk: the earlier log stays, and the run says that the new one could not be written.
mount -t tmpfs -o size=64k,mode=0755 quernfold-log logdisk || exit 99
printf 'earlier log' >logdisk/log.txt
head -c 1000000 /dev/zero >logdisk/filler 2>/dev/null
timeout --kill-after=5 60 "$1" --log logdisk/log.txt -q site out2 >stdout3 2>stderr3
echo $? >status3
cat logdisk/log.txt >log-after
find out logdisk -name '.quernfold-*.tmp' >temporaries
EOF
  "${unshare[@]}" bash inside.sh "$cli" >/dev/null 2>&1
  [ -f status ] || skip "the tmpfs could not be mounted inside unshare -m"
  status=$(cat status)
  expect_status 1
  expect_log ">>生成out/a.html成功！"
  expect_log "site/b.jsp文件转换时异常,原因为：No space left on device"
  expect_file a.html 'small page\r\n'
  # Nothing half-written is published: the failed page leaves no file at all.
  ! grep -q '^f b.html' tree || fail "the failed page left a file: $(cat tree)"
  [ -s temporaries ] && fail "temporary files left: $(cat temporaries)"
  status=$(cat status3)
  expect_status 2
  grep -qF "保存日志时异常,原因为：No space left on device" stderr3 || fail "no message about the unwritten log"
  expect_file log-after 'earlier log'
  expect_tree out2 "f a.html" "f b.html" "f c.html"
  expect_sources_unchanged
}

case_file-too-large() {
  page site/a.jsp 'small page\r\n'
  head -c 300000 /dev/zero | tr '\0' 'y' >site/b.jsp
  mkdir out
  remember_sources site
  # 100 blocks of 1 KiB: the big page's output cannot be written, the small one can.
  (
    ulimit -f 100
    run_cli site out
    echo "$status" >status
  )
  status=$(cat status)
  expect_status 1
  expect_log ">>生成out/a.html成功！"
  expect_log "site/b.jsp文件转换时异常,原因为：File too large"
  expect_file out/a.html 'small page\r\n'
  expect_no_temporary_files out
  expect_sources_unchanged
}

case_fifo-and-device() {
  page site/a.jsp 'top\r\n<%@ include file="pipe.inc" %>\r\n<%@ include file="null.inc" %>\r\nend\r\n'
  mkfifo site/pipe.inc site/pipe.jsp
  local device=0
  if mknod site/null.inc c 1 3 2>/dev/null && mknod site/dev.jsp c 1 3 2>/dev/null; then device=1; fi
  mkdir out
  remember_sources site
  run_cli site out
  expect_status 1
  expect_log "提取site/pipe.inc时异常：not a regular file"
  if ((device)); then
    expect_log "提取site/null.inc时异常：not a regular file"
  else
    expect_log "提取site/null.inc时异常：No such file or directory"
  fi
  # The walk skips FIFOs and devices without a word; the page with failed includes still converts.
  expect_no_log "pipe.jsp"
  expect_no_log "dev.jsp"
  expect_log ">>生成out/a.html成功！"
  expect_tree out "f a.html"
  expect_file out/a.html 'top\r\n\r\n\r\nend\r\n'
  expect_sources_unchanged
  ((device)) || echo "note: mknod is not permitted, so the device node was left out" >"$case_dir/note"
}

case_link-loop() {
  page site/index.jsp 'index\r\n<%@ include file="a/b/up/a/p.inc" %>\r\n'
  page site/a/p.jsp 'P\r\n'
  page site/a/p.inc 'included\r\n'
  page site/a/b/q.jsp 'Q\r\n'
  ln -s ../.. site/a/b/up
  ln -s ../a site/a/loop
  ln -s y site/x
  ln -s x site/y
  mkdir out
  remember_sources site
  run_cli site out
  expect_status 0
  expect_log_count ">>生成" 3
  expect_tree out "f index.html" "d a" "f a/p.html" "d a/b" "f a/b/q.html"
  expect_file out/index.html 'index\r\n\r\nincluded\r\n'
  expect_sources_unchanged
}

case_include-link-outside() {
  page outside/secret.txt 'SECRET\r\n'
  page outside/evil.jsp 'EVIL\r\n'
  page site/a.jsp 'a\r\n<%@ include file="inc/abs.inc" %>\r\n<%@ include file="inc/rel.inc" %>\r\n'\
'<%@ include file="outdir/secret.txt" %>\r\n<%@ include file="inc/in.inc" %>\r\n'
  mkdir -p site/inc
  ln -s "$case_dir/outside/secret.txt" site/inc/abs.inc
  ln -s ../../outside/secret.txt site/inc/rel.inc
  ln -s ../outside site/outdir
  ln -s "$case_dir/site/in.txt" site/inc/in.inc # an absolute link that stays inside is followed
  ln -s ../outside/evil.jsp site/evil-link.jsp   # the walk lists no page outside the site
  ln -s ../site/a.jsp site/alias.jsp             # nor leaves out one inside it
  page site/in.txt 'inside\r\n'
  mkdir out
  remember_sources site outside
  run_cli site out
  expect_status 1
  local reason="the file lies outside the site root (a link leads out of it) and is not read"
  expect_log "提取site/inc/abs.inc时异常：$reason"
  expect_log "提取site/inc/rel.inc时异常：$reason"
  expect_log "提取site/outdir/secret.txt时异常：$reason"
  expect_log "转换过程中共发生6次异常警告"
  expect_no_log "evil-link"
  expect_tree out "f a.html" "f alias.html"
  expect_file out/a.html 'a\r\n\r\n\r\n\r\n\r\ninside\r\n'
  expect_file out/alias.html 'a\r\n\r\n\r\n\r\n\r\ninside\r\n'
  expect_not_in out SECRET
  expect_not_in out EVIL
  expect_sources_unchanged
}

case_dotdot-and-absolute-include() {
  page outside/secret.txt 'SECRET\r\n'
  page site/news/a.jsp 'a\r\n<%@ include file="../../outside/secret.txt" %>\r\n'\
'<%@ include virtual="/../outside/secret.txt" %>\r\n<%@ include file="../../../../../../../../etc/passwd" %>\r\n'\
'<%@ include virtual="/etc/passwd" %>\r\n<%@ include file="/inc/h.inc" %>\r\n<%@ include file="..\\inc\\h.inc" %>\r\n'
  page site/inc/h.inc 'H\r\n'
  mkdir out
  remember_sources site outside
  # The site root as an absolute path, as the window gives it.
  run_cli "$case_dir/site" out
  expect_status 1
  local reason="the file lies outside the site root and is not read"
  expect_log_count "提取$case_dir/outside/secret.txt时异常：$reason" 2
  expect_log "提取/etc/passwd时异常：$reason"
  # "/etc/passwd" names a file of the site ("/" is the site root), which it does not have.
  expect_log "提取$case_dir/site/etc/passwd时异常：No such file or directory"
  expect_log "转换过程中共发生4次异常警告"
  expect_tree out "d news" "f news/a.html"
  expect_file out/news/a.html 'a\r\n\r\n\r\n\r\n\r\n\r\nH\r\n\r\nH\r\n'
  expect_not_in out SECRET
  expect_not_in out root:
  expect_sources_unchanged
}

case_single-line-200mb() {
  local free
  free=$(df -Pk . | awk 'NR == 2 { print $4 }')
  ((free > 1024 * 1024)) || skip "less than 1 GiB free below $(pwd)"
  mkdir site out
  { printf 'start <a href="x.jsp">'; head -c 200000000 /dev/zero | tr '\0' 'z'; printf ' end'; } >site/big.jsp
  local expected
  expected=$({ printf 'start <a href="x.html">'; head -c 200000000 /dev/zero | tr '\0' 'z'; printf ' end\r\n'; } |
    sha256sum | cut -d' ' -f1)
  remember_sources site
  local timer=()
  [ -x /usr/bin/time ] && timer=(/usr/bin/time -f '%M' -o "$case_dir/rss")
  CLI_TIMEOUT=300 run_cli site out
  expect_status 0
  expect_log ">>生成out/big.html成功！"
  [ "$(sha256sum <out/big.html | cut -d' ' -f1)" == "$expected" ] ||
    fail "out/big.html is not the page with its link rewritten"
  expect_tree out "f big.html"
  expect_sources_unchanged
  if ((${#timer[@]})); then
    "${timer[@]}" "$cli" -q site out >/dev/null 2>&1
    echo "peak RSS $(($(cat "$case_dir/rss") / 1024)) MiB" >"$case_dir/note"
  fi
}

case_binary-pages() {
  mkdir -p site out
  # Every byte value once, in order: no marker, no ".jsp", line ends at LF (10) and CR (13).
  local all=''
  for ((i = 0; i < 256; i++)); do all+=$(printf '\\x%02x' "$i"); done
  printf '%b' "$all" >site/bytes.jsp
  head -c 2000000 /dev/urandom >site/random.jsp
  head -c 100000 /dev/zero >site/zeros.jsp
  printf '\xff\xfe<\x00%%\x00' >site/utf16.jsp
  cp /bin/true site/program.jsp
  remember_sources site
  run_cli site out
  expect_status 1
  expect_log_count "开始转换:" 5
  expect_log "site/utf16.jsp文件转换时异常,原因为：the file starts with a UTF-16 byte-order mark"
  local before=${all%%\\x0a*} middle=${all#*\\x0a}
  local expected="$before\\r\\n${middle%%\\x0d*}\\r\\n${middle#*\\x0d}\\r\\n"
  expect_file out/bytes.html "$expected"
  cmp -s out/zeros.html <(head -c 100000 /dev/zero; printf '\r\n') || fail "out/zeros.html differs from its page"
  expect_tree out "f bytes.html" "f program.html" "f random.html" "f utf16.html" "f zeros.html"
  expect_no_temporary_files out
  iconv -f UTF-8 -t UTF-8 "$case_dir/stdout" >/dev/null 2>&1 || fail "the log is not valid UTF-8"
  expect_sources_unchanged
}

case_invalid-utf8-and-gbk-names() {
  mkdir -p site out
  printf 'gbk page \xd6\xd0\xce\xc4\r\n' >site/$'\xd6\xd0\xce\xc4.jsp'
  printf 'invalid name\r\n' >site/$'bad\xff\xfe.jsp'
  printf 'forged\r\n' >site/$'evil\r\n>>生成x成功！.jsp'
  printf 'tab\r\n' >site/$'tab\tand\x1bescape.jsp'
  mkdir site/$'dir\xc0\xaf'
  printf 'below\r\n' >site/$'dir\xc0\xaf/p.jsp'
  remember_sources site
  run_cli site out
  expect_status 0
  expect_log 'site/\xD6\xD0\xCE\xC4.jsp....'
  expect_log 'site/bad\xFF\xFE.jsp....'
  expect_log 'site/evil\x0D\x0A>>生成x成功！.jsp....'
  expect_log 'site/tab\x09and\x1Bescape.jsp....'
  expect_log '>>生成out/dir\xC0\xAF/p.html成功！'
  # One line per page start and per page written: a file name cannot add a line to the log.
  expect_log_count "开始转换:" 5
  [ "$(grep -c '^>>生成' "$case_dir/stdout")" -eq 5 ] || fail "a forged log line"
  iconv -f UTF-8 -t UTF-8 "$case_dir/stdout" >/dev/null 2>&1 || fail "the log is not valid UTF-8"
  LC_ALL=C grep -q $'[\x01-\x08\x0b\x0c\x0e-\x1f\x7f]' "$case_dir/stdout" && fail "a control character in the log"
  expect_file out/$'\xd6\xd0\xce\xc4.html' 'gbk page \xd6\xd0\xce\xc4\r\n'
  expect_file out/$'evil\r\n>>生成x成功！.html' 'forged\r\n'
  expect_file out/$'dir\xc0\xaf/p.html' 'below\r\n'
  expect_sources_unchanged
}

case_planted-link-at-output() {
  page site/a.jsp 'A\r\n'
  page site/sub/b.jsp 'B\r\n'
  page victim.txt 'precious\r\n'
  mkdir out elsewhere
  ln -s "$case_dir/victim.txt" out/a.html
  ln -s "$case_dir/elsewhere" out/sub
  remember_sources site
  snapshot victim.txt elsewhere >victims.before
  run_cli site out
  expect_status 1
  expect_log ">>生成out/a.html成功！"
  expect_log "site/sub/b.jsp文件转换时异常,原因为：the output folder out/sub is a link, which is not followed"
  expect_tree out "f a.html" "l sub"
  expect_file out/a.html 'A\r\n'
  snapshot victim.txt elsewhere | cmp -s - victims.before || fail "a file outside the output folder was written"
  expect_sources_unchanged
}

case_output-is-site-root() {
  page site/a.jsp 'A\r\n<%@ include file="b.jsp" %>\r\n<%@ include file="inc/c.html" %>\r\n'
  page site/b.jsp 'B\r\n'
  page site/inc/c.html 'C\r\n'
  page site/inc/c.jsp 'page C\r\n'
  remember_sources site
  # Same types: every output path is its own source page.
  run_cli -t jsp -T jsp site site
  expect_status 1
  expect_log "site/a.jsp文件转换时异常,原因为：the output file would be the source page itself"
  expect_log "site/b.jsp文件转换时异常,原因为：the output file would be the source page itself"
  expect_log "      失败3个"
  expect_tree site "f a.jsp" "f b.jsp" "d inc" "f inc/c.html" "f inc/c.jsp"
  expect_sources_unchanged
  # Different types: inc/c.html stands at the output path of inc/c.jsp, so it is that page's earlier output:
  # the include that names it reads inc/c.jsp instead, and inc/c.jsp replaces it.
  remember_sources site/a.jsp site/b.jsp site/inc/c.jsp
  run_cli site site
  expect_status 0
  expect_log ">>生成site/a.html成功！"
  expect_log ">>生成site/b.html成功！"
  expect_log ">>生成site/inc/c.html成功！"
  expect_file site/a.html 'A\r\n\r\nB\r\n\r\npage C\r\n'
  expect_file site/inc/c.html 'page C\r\n'
  expect_no_temporary_files site
  expect_sources_unchanged
  # Whatever the order of the pages: b.html is read as b.jsp by the page converted after it, too.
  page early/b.html 'an earlier run\r\n'
  page early/b.jsp 'page b\r\n'
  page early/z.jsp 'z\r\n<%@ include file="b.html" %>\r\n'
  remember_sources early/b.jsp early/z.jsp
  run_cli early early
  expect_status 0
  expect_file early/b.html 'page b\r\n'
  expect_file early/z.html 'z\r\n\r\npage b\r\n'
  expect_sources_unchanged
}

# ---------------------------------------------------------------------------------------------------------------

if [ "${1:-}" == "--case" ]; then
  name=$2 case_dir=$3
  cd "$case_dir" || exit 1
  "case_$name"
  exit 0
fi

if [ ! -x "$cli" ]; then
  echo "FAIL fault matrix: $cli is not built (set QUERNFOLD_CLI)"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quernfold-faults.XXXXXX")
chmod 755 "$work"
cleanup() {
  chmod -R u+rwX "$work" 2>/dev/null
  [ "${KEEP_WORK:-0}" == 1 ] && echo "work folder kept: $work" || rm -rf "$work"
}
trap cleanup EXIT

read -r -a selected <<<"${FAULT_CASES:-${all_cases[*]}}"
passed=0 failed=0 skipped=0
for name in "${selected[@]}"; do
  case_dir="$work/$name"
  mkdir -p "$case_dir" && chmod 755 "$case_dir"
  timeout --kill-after=10 600 bash "$script" --case "$name" "$case_dir" >"$case_dir/output" 2>&1
  rc=$?
  if ((rc == 77)); then
    echo "SKIP $name: $(cat "$case_dir/skipped")"
    skipped=$((skipped + 1))
  elif ((rc == 0)) && [ ! -s "$case_dir/failures" ]; then
    note=""
    [ -f "$case_dir/note" ] && note=" ($(cat "$case_dir/note"))"
    echo "PASS $name$note"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    ((rc == 0)) || echo "    the case ended with status $rc$( ((rc == 124)) && echo ' (time-out)')"
    [ -s "$case_dir/failures" ] && sed 's/^/    /' "$case_dir/failures"
    [ -s "$case_dir/output" ] && tail -n 5 "$case_dir/output" | sed 's/^/    | /'
    [ -s "$case_dir/stdout" ] && tail -n 12 "$case_dir/stdout" | sed 's/^/    > /'
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed${skipped:+, $skipped skipped}"
((failed == 0))
