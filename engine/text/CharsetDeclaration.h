#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "engine/text/CodePage.h"

namespace quernfold {

/** How far into a file a charset declaration is looked for; one declared later is not seen. */
inline constexpr std::size_t kDeclarationWindow = 4096;

/**
 * A declared charset name (pageEncoding, meta charset, ...), ASCII case ignored: gb2312/gbk/cp936 -> Gbk,
 * gb18030, big5, shift_jis/sjis/ms932 -> ShiftJis, utf-8/utf8 -> Utf8, known single-byte charsets
 * (iso-8859-*, windows-125x, us-ascii, latin1) -> SingleByte. nullopt for names it does not know.
 */
std::optional<CodePage> CodePageFromCharsetName(std::string_view name);

/** An ASP CodePage number: 936 -> Gbk, 54936 -> Gb18030, 950 -> Big5, 932 -> ShiftJis, 65001 -> Utf8,
 *  125x and 28591..28599 -> SingleByte; nullopt otherwise. */
std::optional<CodePage> CodePageFromNumber(long number);

/**
 * The first charset the head of a file declares, in file order: a JSP page directive (pageEncoding, contentType),
 * <jsp:directive.page>, an HTML meta charset or content type, an ASP CodePage directive or Response/Session.CodePage.
 * A declaration cut off by the end of head is not trusted. nullopt when there is none it knows.
 */
std::optional<CodePage> FindDeclaredCodePage(std::string_view head);

}  // namespace quernfold
