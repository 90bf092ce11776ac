#!/usr/bin/env bash
# Converts the bundled example and a generated site with quernfold-cli.exe under Wine (started from cmd /c, its
# standard output redirected to a file) and with the Linux quernfold-cli, static files copied (-a) and the log
# saved (--log), and compares: the output trees must hold the same names and bytes, copied files the same
# modification times, the exit statuses must match, and the Windows log's bytes (standard output and the --log
# file) must equal the Linux log's with every '/' of a path written as '\'.
# Usage: end-to-end.sh WINE_RUN PREFIX WINDOWS_CLI LINUX_CLI EXAMPLE_SITE
set -euo pipefail
wine_run=$1 prefix=$2 windows_cli=$3 linux_cli=$4 example=$5
if [ ! -x "$linux_cli" ]; then
  echo "skipped: no Linux quernfold-cli at $linux_cli to compare with (build the dev preset first)"
  exit 77
fi
work=$(mktemp -d /tmp/quernfold-windows-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A generated site: a GBK page whose include target names a Chinese file, pages in nested folders linking each
# other, a Big5 page, static files of several kinds, and an include that would leave the site.
make_site() {
  local site=$1
  mkdir -p "$site/inc" "$site/docs/deep/er" "$site/static/img" "$site/tw"
  printf '<%%@ page contentType="text/html; charset=GBK" %%>\r\n<html><body>\r\n<%%@ include file="inc/\xB1\xED.jsp" %%>\r\n<a href="docs/a.jsp">a</a> <a href="docs/deep/er/b.jsp?x=1">b</a>\r\n<%% int n = 1; %%>\r\n</body></html>\r\n' >"$site/index.jsp"
  printf '<p>\xD6\xD0\xCE\xC4 include</p>\r\n' >"$site/inc/表.jsp"
  for i in $(seq 1 20); do
    printf '<html><a href="../index.jsp">home</a> page %d <a href="deep/er/b.jsp">b</a></html>\n' "$i" >"$site/docs/p$i.jsp"
  done
  printf '<%%@ include file="../inc/missing.jsp" %%>\n<a href="../index.jsp">up</a>\n' >"$site/docs/a.jsp"
  printf '<html><a href="../../../index.jsp">top</a><%%@ include file="../../../../outside.jsp" %%></html>\n' >"$site/docs/deep/er/b.jsp"
  printf '<%%@ page contentType="text/html; charset=Big5" %%>\r\n<p>\xA4\xA4\xA4\xE5</p>\r\n' >"$site/tw/index.jsp"
  printf 'body { color: #333 }\n' >"$site/static/site.css"
  head -c 3000 /dev/urandom >"$site/static/img/noise.bin"
  touch -d '2020-01-02 03:04:05' "$site/static/site.css" "$site/static/img/noise.bin"
}

cp "$windows_cli" "$work/quernfold-cli.exe"
status=0
for name in example generated; do
  for side in linux windows; do
    mkdir -p "$work/$name/$side"
    if [ "$name" = example ]; then cp -rp "$example" "$work/$name/$side/site"; else make_site "$work/$name/$side/site"; fi
  done
  linux_status=0
  (cd "$work/$name/linux" && "$linux_cli" --mkdir -a --log run.log site out >stdout 2>stderr) || linux_status=$?
  windows_status=0
  (cd "$work/$name/windows" && "$wine_run" "$prefix" cmd /c "Z:${work//\//\\}\\quernfold-cli.exe" --mkdir -a --log run.log \
     site out >stdout 2>stderr) || windows_status=$?
  if [ "$linux_status" != "$windows_status" ]; then
    echo "$name: exit status $windows_status on Windows, $linux_status on Linux"
    status=1
  fi
  if ! diff -r "$work/$name/linux/out" "$work/$name/windows/out"; then
    echo "$name: the output trees differ"
    status=1
  fi
  for log in stdout run.log; do
    tr '/' '\\' <"$work/$name/linux/$log" >"$work/$name/linux/$log.backslashes"
    if ! cmp "$work/$name/linux/$log.backslashes" "$work/$name/windows/$log"; then
      echo "$name: the Windows $log differs from the Linux one with backslashes:"
      diff "$work/$name/linux/$log.backslashes" "$work/$name/windows/$log" | head -20 || true
      status=1
    fi
  done
  # Windows keeps times in steps of 100 ns: compared to that step.
  times() {
    (cd "$1" && find . -type f ! -name '*.html' -printf '%p %T@\n' | sed 's/\(\.[0-9]\{7\}\)[0-9]*$/\1/' | sort)
  }
  if [ "$(times "$work/$name/linux/out")" != "$(times "$work/$name/windows/out")" ]; then
    echo "$name: copied files keep different times"
    diff <(times "$work/$name/linux/out") <(times "$work/$name/windows/out") || true
    status=1
  fi
  # The plan of a dry run, and the JSON report of a run into a second folder: its paths ('\', "\\" in JSON) are
  # read back with '/', the links stay as the pages have them.
  (cd "$work/$name/linux" && "$linux_cli" -n site out >plan; "$linux_cli" --mkdir --report report.json site out2) \
    >/dev/null 2>&1 || true
  (cd "$work/$name/windows" && "$wine_run" "$prefix" "$work/quernfold-cli.exe" -n site out >plan 2>/dev/null;
   "$wine_run" "$prefix" "$work/quernfold-cli.exe" --mkdir --report report.json site out2) >/dev/null 2>&1 || true
  if ! cmp <(tr '/' '\\' <"$work/$name/linux/plan") "$work/$name/windows/plan" ||
     ! cmp "$work/$name/linux/report.json" <(sed 's|\\\\|/|g' "$work/$name/windows/report.json"); then
    echo "$name: the dry run's plan or the report differs"
    status=1
  fi
  pages=$(find "$work/$name/windows/out" -type f | wc -l)
  echo "$name: exit status $windows_status, $pages files, log of $(wc -c <"$work/$name/windows/stdout") bytes"
done
exit $status
