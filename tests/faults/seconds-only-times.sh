#!/usr/bin/env bash
# An output file system that keeps modification times in whole seconds (ext4 with 128-byte inodes): a second run
# over an unchanged site finds every static file unchanged, as the time reads back there.
source "$(dirname "$0")/lib.sh"
check "static files on a seconds-only file system are left alone by a second run"

root_user || skip "mkfs and mount need root"
command -v mkfs.ext4 >/dev/null || skip "mkfs.ext4 is missing"
need_mount_namespace "no file system can be mounted"
page site/a.jsp 'page\r\n'
mkdir -p site/css site/img out
printf 'body{}' >site/css/a.css
printf 'png' >site/img/b.png
touch -d '2020-01-02 03:04:05.678901234' site/css/a.css site/img/b.png
remember_sources site
truncate -s 8M seconds.img
mkfs.ext4 -q -I 128 -F seconds.img >/dev/null 2>&1 || skip "mkfs.ext4 -I 128 failed"
cat >inside.sh <<'INSIDE'
mount -o loop seconds.img out || exit 99
timeout --kill-after=5 60 "$1" -a site out >stdout1 2>stderr1
echo $? >status1
timeout --kill-after=5 60 "$1" -a site out >stdout 2>stderr
echo $? >status
stat -c '%y' out/css/a.css >time
umount out
INSIDE
"${unshare[@]}" bash inside.sh "$cli" >/dev/null 2>&1
[ -f status ] || skip "the file system image could not be mounted inside unshare -m"

status=$(cat status1)
expect_status 0
grep -qF '复制静态文件2个，其中未变化0个，失败0个' stdout1 || fail "the first run did not copy both files: $(cat stdout1)"
status=$(cat status)
expect_status 0
expect_log '复制静态文件2个，其中未变化2个，失败0个'
grep -q '^2020-01-02 03:04:05.000000000' time || fail "the copy's time is not kept in whole seconds: $(cat time)"
expect_sources_unchanged
finish
