#!/usr/bin/env bash
# A one-line page of 200 MB, under the line limit, converts with its link rewritten. It needs about 1 GiB of free
# disk and half a GiB of memory, so it lives here rather than among the quick end-to-end cases.
source "$(dirname "$0")/lib.sh"
check "a 200 MB single-line page converts, its link rewritten and every other byte kept"

free=$(df -Pk . | awk 'NR == 2 { print $4 }')
((free > 1024 * 1024)) || skip "less than 1 GiB free below $(pwd)"
mkdir site out
{ printf 'start <a href="x.jsp">'; head -c 200000000 /dev/zero | tr '\0' 'z'; printf ' end'; } >site/big.jsp
expected=$({ printf 'start <a href="x.html">'; head -c 200000000 /dev/zero | tr '\0' 'z'; printf ' end\r\n'; } |
  sha256sum | cut -d' ' -f1)
remember_sources site
CLI_TIMEOUT=300 run_cli site out

expect_status 0
expect_log "$(generated_line out/big.html)"
[ "$(sha256sum <out/big.html | cut -d' ' -f1)" == "$expected" ] || fail "out/big.html is not the page with its link rewritten"
expect_tree out "f big.html"
expect_sources_unchanged
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f '%M' -o rss "$cli" -q site out >/dev/null 2>&1
  echo "note: peak RSS $(($(cat rss) / 1024)) MiB"
fi
finish
