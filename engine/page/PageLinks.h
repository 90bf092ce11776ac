#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/CodePage.h"

namespace quernfold {

/** A reference found in page text: the value of an href, src, action, background or poster attribute, or a CSS url(). */
struct FoundLink {
    std::size_t offset = 0;  // where the value starts in the text
    std::string_view value;  // as written, in the text's code page
};

/**
 * Finds the references in text (bytes in code page cp), walking it character by character, so a trail byte of a
 * double-byte character is never taken for a quote, an "=" or a letter of an attribute name. Attribute names
 * are matched ignoring ASCII case and must stand after a blank or a quote (so "data-src" and "a.href" do not
 * count); values may be quoted with " or ' or stand unquoted.
 */
void FindLinks(CodePage cp, std::string_view text, std::vector<FoundLink>& links);

/**
 * The local file a reference names, as a '/'-separated UTF-8 path: the value with its character references to
 * ASCII characters decoded ("&amp;", "&#38;", "&#x26;"), without query and fragment, decoded
 * from cp (raw bytes when it is not valid there) and with its percent-escapes decoded. nullopt for what is not a
 * local file: empty, a "#fragment", "//host", or any "scheme:" (http:, mailto:, javascript:, data:).
 */
std::optional<std::string> LocalLinkPath(CodePage cp, std::string_view value);

/**
 * Resolves a local link path against the output folder of the page that holds it ('/' first: the output root).
 * ".." never climbs above the output root, as a web server serving it would not. Both folders end in '/'.
 */
std::string ResolveLinkTarget(std::string_view linkPath, std::string_view pageFolder, std::string_view outputRoot);

}  // namespace quernfold
