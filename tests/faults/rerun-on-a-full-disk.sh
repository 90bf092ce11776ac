#!/usr/bin/env bash
# A re-run on a full disk keeps every page of the earlier run whole; a page that fails, and a page whose source
# cannot be read, publish nothing; no temporary file is left. Needs a mount namespace for a small tmpfs.
set -uo pipefail
cli=${QUERNFOLD_CLI:?QUERNFOLD_CLI names the quernfold-cli to test}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac
unshare=(unshare -m)
"${unshare[@]}" true 2>/dev/null || unshare=(unshare -r -m)
if ! "${unshare[@]}" true 2>/dev/null; then
  echo "skipped: unshare -m is not permitted here, so no small tmpfs can be mounted" >&2
  exit 77
fi
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
echo "checks: a re-run on a full disk keeps the earlier 300,002-byte page whole and leaves nothing half-written"

mkdir -p site out
head -c 300000 /dev/zero | tr '\0' 'a' >site/big.jsp
printf 'small\r\n' >site/small.jsp
printf 'secret\r\n' >site/unreadable.jsp
chmod 000 site/unreadable.jsp

cat >inside.sh <<'EOF'
mount -t tmpfs -o size=1m,mode=0777 quernfold-full out || exit 99
as=()
[ "$(id -u)" -eq 0 ] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as[@]}" "$1" -q site out >/dev/null 2>&1
cp out/big.html earlier-big.html
# The edited page grows past what the disk holds.
head -c 2000000 /dev/zero | tr '\0' 'b' >site/big.jsp
(cd site && sha256sum big.jsp small.jsp) >before
"${as[@]}" "$1" site out >stdout 2>stderr
echo $? >status
(cd site && sha256sum big.jsp small.jsp) >after
cmp -s out/big.html earlier-big.html && echo same >big-kept
(cd out && find . -mindepth 1 -printf '%y %P\n' | LC_ALL=C sort) >tree
EOF
"${unshare[@]}" bash inside.sh "$cli" >/dev/null 2>&1
[ -f status ] || { echo "skipped: the tmpfs could not be mounted" >&2; exit 77; }

failures=0
check() { if eval "$2"; then echo "PASS $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
check "exit status 1" '[ "$(cat status)" = 1 ]'
check "the full disk fails the page" 'grep -qF "site/big.jsp文件转换时异常,原因为：No space left on device" stdout'
check "the earlier page stays whole" '[ -f big-kept ] && [ "$(stat -c %s earlier-big.html)" = 300002 ]'
check "the unreadable page leaves no file" '! grep -q "unreadable" tree'
check "no temporary file is left" '! grep -q "quernfold-" tree'
check "the output tree" '[ "$(cat tree)" = "$(printf "f big.html\nf small.html")" ]'
check "the sources are unchanged" 'cmp -s before after'
[ "$failures" -eq 0 ]
