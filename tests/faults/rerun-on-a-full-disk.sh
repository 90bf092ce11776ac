#!/usr/bin/env bash
# A re-run on a full disk keeps every page of the earlier run whole; a page that fails, and a page whose source
# cannot be read, publish nothing; no temporary file is left. Needs a mount namespace for a small tmpfs.
source "$(dirname "$0")/lib.sh"
check "a re-run on a full disk keeps the earlier 300,002-byte page whole and leaves nothing half-written"
need_mount_namespace "no small tmpfs can be mounted"

head -c 300000 /dev/zero | tr '\0' 'a' | (mkdir -p site && cat >site/big.jsp)
page site/small.jsp 'small\r\n'
page site/unreadable.jsp 'secret\r\n'
chmod 000 site/unreadable.jsp
mkdir out

cat >inside.sh <<'INSIDE'
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
INSIDE
"${unshare[@]}" bash inside.sh "$cli" >/dev/null 2>&1
[ -f status ] || skip "the tmpfs could not be mounted"

status=$(cat status)
expect_status 1
expect_log "$(failed_line site/big.jsp "No space left on device")"
{ [ -f big-kept ] && [ "$(stat -c %s earlier-big.html)" = 300002 ]; } || fail "the earlier page was not kept whole"
# The unreadable page leaves no file, and no temporary file is left.
[ "$(cat tree)" = "$(printf 'f big.html\nf small.html')" ] || fail "the output tree: $(cat tree)"
cmp -s before after || fail "the sources changed"
finish
