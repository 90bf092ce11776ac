#!/usr/bin/env bash
# Re-running into the site root after an edit, through the plain path and through a bind mount of the site root:
# both give the tree a first run gives, and the sources stay byte-identical. Needs a mount namespace.
source "$(dirname "$0")/lib.sh"
check "a re-run into the site root after an edit, plain and through a bind mount, equals a first run"
need_mount_namespace "no bind mount can be made"

make_site() {
  rm -rf "$1"
  page "$1/a.jsp" '<%@ include file="b.jsp" %>A\r\n'
  page "$1/sub/c.jsp" '<%@ include file="../b.jsp" %>C\r\n'
  page "$1/b.jsp" 'old b\r\n'
}
hashes() { (cd "$1" && snapshot .); }
sources() { (cd "$1" && sha256sum a.jsp b.jsp sub/c.jsp); }

# The first run of the edited site, into the site root: what every re-run must give.
make_site first && page first/b.jsp 'new b\r\n'
"$cli" -q first first >/dev/null 2>&1
hashes first >expected

for how in plain bind; do
  make_site site
  "$cli" -q site site >/dev/null 2>&1
  page site/b.jsp 'new b\r\n'
  sources site >before
  rm -f status && mkdir -p mnt
  if [ "$how" = bind ]; then
    "${unshare[@]}" bash -c 'mount --bind site mnt && "$1" site mnt >stdout 2>stderr; echo $? >status' _ "$cli"
  else
    "$cli" site site >stdout 2>stderr
    echo $? >status
  fi
  [ -s status ] || skip "the bind mount could not be made"
  [ "$(cat status)" = 0 ] || fail "$how: exit status $(cat status)"
  diff -u expected <(hashes site) || fail "$how: the re-run's tree differs from a first run's"
  sources site | cmp -s before - || fail "$how: a source changed"
done
finish
