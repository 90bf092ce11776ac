# Shared by the fault cases in this folder; each case sources it, builds a site in its own work folder, runs
# quernfold-cli and ends with `finish`. Exit status: 0 pass, 77 skipped (the reason on stderr), 1 fail.
#
#   QUERNFOLD_CLI   the program to test (required; ctest sets it)
#   KEEP_WORK=1     keep the work folder for a look afterwards
set -uo pipefail

cli=${QUERNFOLD_CLI:-}
if [ -z "$cli" ] || [ ! -x "$cli" ]; then
  echo "QUERNFOLD_CLI does not name a built quernfold-cli: '$cli'" >&2
  exit 1
fi
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac

case_dir=$(mktemp -d "${TMPDIR:-/tmp}/quernfold-fault.XXXXXX") || exit 1
chmod 755 "$case_dir"
cleanup_case_dir() {
  chmod -R u+rwX "$case_dir" 2>/dev/null
  if [ "${KEEP_WORK:-0}" == 1 ]; then echo "work folder kept: $case_dir" >&2; else rm -rf "$case_dir"; fi
}
trap cleanup_case_dir EXIT
cd "$case_dir" || exit 1
failures=()

# What the case checks, printed before it runs.
check() { echo "check: $*"; }
fail() { failures+=("$*"); }
skip() {
  echo "skipped: $*" >&2
  exit 77
}
finish() {
  if ((${#failures[@]} == 0)); then
    echo "PASS"
    exit 0
  fi
  printf 'FAIL: %s\n' "${failures[@]}"
  [ -s stdout ] && tail -n 12 stdout | sed 's/^/    > /'
  [ -s stderr ] && tail -n 5 stderr | sed 's/^/    ! /'
  exit 1
}
# Sets unshare to a command that enters a new mount namespace (with a user namespace when root's rights are
# missing), or skips the case saying what cannot be done without one.
need_mount_namespace() {
  unshare=(unshare -m)
  "${unshare[@]}" true 2>/dev/null || unshare=(unshare -r -m)
  "${unshare[@]}" true 2>/dev/null || skip "unshare -m is not permitted here, so $1"
}
root_user() { [ "$(id -u)" -eq 0 ]; }
# Cases that need a user without root's rights: as root, that takes setpriv.
need_unprivileged_user() {
  if root_user && ! command -v setpriv >/dev/null; then skip "running as root and setpriv is missing"; fi
}

# Runs the CLI (as nobody when as_nobody=1 and running as root) under a time limit; status in $status, stdout and
# stderr in ./stdout and ./stderr.
as_nobody=0
run_cli() {
  local limit=${CLI_TIMEOUT:-60} prefix=()
  if ((as_nobody)) && root_user; then prefix=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
  timeout --kill-after=5 "$limit" "${prefix[@]}" "$cli" "$@" >stdout 2>stderr
  status=$?
  if ((status == 124 || status == 137)); then fail "quernfold-cli did not finish within ${limit}s"; fi
}

# The log lines, built once here so that the cases name only paths and reasons.
started_line() { printf '开始转换:%s....' "$1"; }
generated_line() { printf '>>生成%s成功！' "$1"; }
failed_line() { printf '%s文件转换时异常,原因为：%s' "$1" "$2"; }
warning_line() { printf '提取%s时异常：%s' "$1" "$2"; }
succeeded_count_line() { printf '其中：成功%s个' "$1"; }
failed_count_line() { printf '      失败%s个' "$1"; }
folder_failure_text() { printf '读取文件夹%s时异常,原因为：%s' "$1" "$2"; }
log_save_failure_text() { printf '保存日志时异常,原因为：%s' "$1"; }
summary_title=共转换文件

expect_status() { [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"; }
# Fixed text expected among the log lines (stdout) or on stderr.
expect_log() { grep -qF -- "$1" stdout || fail "no log line holding: $1"; }
expect_no_log() { ! grep -qF -- "$1" stdout || fail "a log line holds: $1"; }
expect_stderr() { grep -qF -- "$1" stderr || fail "stderr does not hold: $1"; }

# A folder's tree as "type path" lines (f file, d folder, l link, p FIFO), sorted, compared with the arguments.
tree_of() { (cd "$1" && find . -mindepth 1 -printf '%y %P\n' | LC_ALL=C sort); }
expect_tree() {
  local folder=$1
  shift
  local expected actual
  expected=$( (($#)) && printf '%s\n' "$@" | LC_ALL=C sort)
  actual=$(tree_of "$folder")
  [ "$actual" == "$expected" ] || fail "tree of $folder:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}
expect_no_temporary_files() {
  local left
  left=$(find "$@" -name '.quernfold-*.tmp' 2>/dev/null)
  [ -z "$left" ] || fail "temporary files left: $left"
}
# The file holds exactly the bytes of the printf format.
expect_file() { cmp -s "$1" <(printf '%b' "$2") || fail "$1 differs from the expected bytes"; }

# Hashes of every regular file below the folders (links not followed, their targets recorded instead).
snapshot() {
  local folder
  for folder in "$@"; do
    find "$folder" -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum
    find "$folder" -type l -printf 'link %p -> %l\n' | LC_ALL=C sort
  done
}
sources=()
remember_sources() {
  snapshot "$@" >sources.before
  sources=("$@")
}
# Every file that existed before the run is still there, byte for byte (new files may appear when the output
# folder lies inside the site).
expect_sources_unchanged() {
  local line after
  after=$(snapshot "${sources[@]}")
  while IFS= read -r line; do
    grep -qxF -- "$line" <<<"$after" || fail "source changed or gone: $line"
  done <sources.before
}

# Writes a page: path, then its bytes as a printf format.
page() { mkdir -p "$(dirname "$1")" && printf '%b' "$2" >"$1"; }
