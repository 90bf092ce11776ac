#!/usr/bin/env bash
# A folder that cannot be listed aborts the run before any page is written.
source "$(dirname "$0")/lib.sh"
check "a folder without read permission aborts the run: exit status 2, no summary, no output"
need_unprivileged_user

page site/a.jsp 'A\r\n'
page site/sub/c.jsp 'C\r\n'
mkdir out && chmod 777 out
chmod -R go+rX . && chmod 000 site/sub
remember_sources site
as_nobody=1 run_cli site out

expect_status 2
expect_stderr "$(folder_failure_text site/sub/ "Permission denied")"
expect_no_log "$summary_title"
expect_tree out
expect_sources_unchanged
finish
