#!/usr/bin/env bash
# A page the user may not read fails alone; the other pages convert and no source changes.
source "$(dirname "$0")/lib.sh"
check "a page without read permission fails with the system's reason; the others convert"
need_unprivileged_user

page site/a.jsp 'A\r\n'
page site/b.jsp 'secret B\r\n'
mkdir out && chmod 777 out
chmod -R go+rX . && chmod 000 site/b.jsp
remember_sources site
as_nobody=1 run_cli site out

expect_status 1
expect_log "$(generated_line out/a.html)"
expect_log "$(warning_line site/b.jsp "Permission denied")"
expect_log "$(failed_line site/b.jsp "Permission denied")"
expect_log "$(succeeded_count_line 1)"
expect_log "$(failed_count_line 1)"
# A failed page publishes nothing: no empty file under its output name.
expect_tree out "f a.html"
expect_file out/a.html 'A\r\n'
expect_no_temporary_files out
expect_sources_unchanged
finish
