#!/usr/bin/env bash
# Output folders the user may not write fail every page with the system's reason.
source "$(dirname "$0")/lib.sh"
check "read-only output folders fail each page with 'Permission denied' and leave the folders as they were"
need_unprivileged_user

page site/a.jsp 'A\r\n'
page site/sub/b.jsp 'B\r\n'
mkdir -p out/sub
chmod -R go+rX . && chmod 555 out out/sub
remember_sources site
as_nobody=1 run_cli site out

expect_status 1
expect_log "$(failed_line site/a.jsp "Permission denied")"
expect_log "$(failed_line site/sub/b.jsp "Permission denied")"
expect_log "$(succeeded_count_line 0)"
expect_tree out "d sub"
expect_sources_unchanged
finish
