#pragma once

#include <cstdint>
#include <string_view>

#include "engine/page/LinkScanningOutput.h"
#include "engine/text/CodePage.h"

namespace quernfold {

/**
 * Notes what a published file must not show, line by line, into list: with serverCode, each "<%" block and JSP
 * tag left in a page (kind "<%", "<jsp:", "<c:", "<s:", "<fmt:", "<html:", "<bean:", "${"); always, each line
 * that names a connection or a server path (kind "Provider=", "Data Source=", "ConnectionString", "jdbc:",
 * "Server.MapPath", ".mdb", ".accdb", ".db", "password=", "pwd=", "uid="). Each kind is one note per file: its
 * first line, the line's text (UTF-8, cut short) and how many there are. text is bytes in cp whose first byte
 * stands on line firstLine.
 */
void FindLeftovers(CodePage cp, std::string_view text, std::int64_t firstLine, bool serverCode, PageLinkList& list);

}  // namespace quernfold
