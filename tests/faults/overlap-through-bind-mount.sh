#!/usr/bin/env bash
# Re-running into the site root after an edit, through the plain path and through a bind mount of the site root:
# both give the tree a first run gives, and the sources stay byte-identical. Needs a mount namespace.
set -uo pipefail
cli=${QUERNFOLD_CLI:?QUERNFOLD_CLI names the quernfold-cli to test}
case "$cli" in /*) ;; *) cli="$PWD/$cli" ;; esac
unshare=(unshare -m)
"${unshare[@]}" true 2>/dev/null || unshare=(unshare -r -m)
if ! "${unshare[@]}" true 2>/dev/null; then
  echo "skipped: unshare -m is not permitted here, so no bind mount can be made" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
echo "checks: a re-run into the site root after an edit, plain and through a bind mount, equals a first run"

make_site() {
  rm -rf "$1" && mkdir -p "$1/sub"
  printf '<%%@ include file="b.jsp" %%>A\r\n' >"$1/a.jsp"
  printf '<%%@ include file="../b.jsp" %%>C\r\n' >"$1/sub/c.jsp"
  printf 'old b\r\n' >"$1/b.jsp"
}
tree() { (cd "$1" && find . -mindepth 1 -type f -printf '%P\n' | LC_ALL=C sort | while read -r f; do echo "$f $(sha256sum <"$f")"; done); }
sources() { (cd "$1" && sha256sum a.jsp b.jsp sub/c.jsp); }

# The first run of the edited site, into the site root: what every re-run must give.
make_site first && printf 'new b\r\n' >first/b.jsp
"$cli" -q first first >/dev/null 2>&1
tree first >expected

failures=0
for how in plain bind; do
  make_site site
  "$cli" -q site site >/dev/null 2>&1
  printf 'new b\r\n' >site/b.jsp
  sources site >before
  mkdir -p mnt
  if [ "$how" = bind ]; then
    "${unshare[@]}" bash -c 'mount --bind site mnt && "$1" site mnt >stdout 2>stderr; echo $? >status' _ "$cli"
  else
    "$cli" site site >stdout 2>stderr
    echo $? >status
  fi
  [ -s status ] || { echo "skipped: the bind mount could not be made" >&2; exit 77; }
  if [ "$(cat status)" != 0 ]; then echo "FAIL $how: exit status $(cat status)"; cat stdout; failures=$((failures + 1)); fi
  tree site >actual
  if ! diff -u expected actual; then echo "FAIL $how: the re-run's tree differs from a first run's"; failures=$((failures + 1)); fi
  if ! sources site | diff -u before -; then echo "FAIL $how: a source changed"; failures=$((failures + 1)); fi
  [ "$failures" -eq 0 ] && echo "PASS $how"
done
[ "$failures" -eq 0 ]
