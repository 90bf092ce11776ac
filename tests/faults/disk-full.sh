#!/usr/bin/env bash
# A full disk under the output folder fails the page being written, and a log file that cannot be saved leaves the
# earlier log in place. The small disks are tmpfs mounts inside a private mount namespace.
source "$(dirname "$0")/lib.sh"
check "a full output disk fails one page and the run goes on; a full log disk keeps the earlier log"

need_mount_namespace "no small tmpfs can be mounted"
page site/a.jsp 'small page\r\n'
head -c 300000 /dev/zero | tr '\0' 'x' >site/b.jsp
page site/c.jsp 'after the full disk\r\n'
mkdir out out2 logdisk
remember_sources site
# The tmpfs exists only inside the new mount namespace: the run and every look at its output happen there.
cat >inside.sh <<'INSIDE'
mount -t tmpfs -o size=128k,mode=0755 quernfold-full out || exit 99
timeout --kill-after=5 60 "$1" site out >stdout 2>stderr
echo $? >status
(cd out && find . -mindepth 1 -printf '%y %P %s\n' | LC_ALL=C sort) >tree
cat out/a.html >a.html 2>/dev/null
mount -t tmpfs -o size=64k,mode=0755 quernfold-log logdisk || exit 99
printf 'earlier log' >logdisk/log.txt
head -c 1000000 /dev/zero >logdisk/filler 2>/dev/null
timeout --kill-after=5 60 "$1" --log logdisk/log.txt -q site out2 >stdout3 2>stderr3
echo $? >status3
cat logdisk/log.txt >log-after
find out logdisk -name '.quernfold-*.tmp' >temporaries
INSIDE
"${unshare[@]}" bash inside.sh "$cli" >/dev/null 2>&1
[ -f status ] || skip "the tmpfs could not be mounted inside unshare -m"

status=$(cat status)
expect_status 1
expect_log "$(generated_line out/a.html)"
expect_log "$(failed_line site/b.jsp "No space left on device")"
expect_file a.html 'small page\r\n'
# Nothing half-written is published: the failed page leaves no file at all.
! grep -q '^f b.html' tree || fail "the failed page left a file: $(cat tree)"
[ -s temporaries ] && fail "temporary files left: $(cat temporaries)"
status=$(cat status3)
expect_status 2
grep -qF "$(log_save_failure_text "No space left on device")" stderr3 || fail "no message about the unwritten log"
expect_file log-after 'earlier log'
expect_tree out2 "f a.html" "f b.html" "f c.html"
expect_sources_unchanged
finish
