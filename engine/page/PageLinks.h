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
    bool base = false;       // the href of a <base> element: later relative references resolve against it
};

/**
 * What a scan of a page carries from one piece of it to the next: a comment, a script body or a server-code
 * block may open in one piece and close in a later one, and a <base> or <script> tag ends at its ">".
 */
struct LinkScanState {
    enum class Skipping : unsigned char { None, Comment, Script, ServerCode };
    Skipping skipping = Skipping::None;
    bool inScriptTag = false;
    bool inBaseTag = false;
    bool inServerTag = false;  // a JSP custom tag (<c:url ...>, <s:url ...>): the server reads its attributes
    // After a <base href>: the folder it names, which relative references start from ("" for none), or, for a
    // base on another host, that relative references lead off this site.
    std::string baseFolder;
    bool baseElsewhere = false;
};

/**
 * Finds the references in text (bytes in code page cp), walking it character by character, so a trail byte of a
 * double-byte character is never taken for a quote, an "=" or a letter of an attribute name. Attribute names
 * are matched ignoring ASCII case and must stand after a blank or a quote (so "data-src" and "a.href" do not
 * count); values may be quoted with " or ' or stand unquoted.
 */
void FindLinks(CodePage cp, std::string_view text, std::vector<FoundLink>& links);
/**
 * The same for one piece of a page, with what came before it in state: nothing inside an HTML comment, a
 * <script> body or a "<%...%>" block is a reference a visitor's browser follows (server code is skipped even
 * inside an attribute's quotes, where the server reads it first).
 */
void FindLinks(CodePage cp, std::string_view text, std::vector<FoundLink>& links, LinkScanState& state);

/**
 * The local file a reference names, as a '/'-separated UTF-8 path: the value with its character references to
 * ASCII characters decoded ("&amp;", "&#38;", "&#x26;"), without query and fragment, decoded
 * from cp (raw bytes when it is not valid there) and with its percent-escapes decoded. nullopt for what is not a
 * local file: empty, a "#fragment", "//host", or any "scheme:" (http:, mailto:, javascript:, data:). A style
 * sheet's values (inHtml false) have no character references.
 */
std::optional<std::string> LocalLinkPath(CodePage cp, std::string_view value, bool inHtml = true);

/**
 * Resolves a local link path against the output folder of the page that holds it ('/' first: the output root).
 * ".." never climbs above the output root, as a web server serving it would not. Both folders end in '/'.
 */
/** Whether value names a page on a web host: "http:", "https:" or "//host" (ASCII case ignored). */
bool IsWebUrl(std::string_view value);

/** The query of a reference, without "?" and the fragment; "" when it has none. */
std::string_view QueryOf(std::string_view value);

/** The host a web URL names, lower-cased, without user and port ("[::1]" keeps its brackets). */
std::string HostOf(std::string_view url);

/**
 * Whether host (as HostOf gives it) is this machine: localhost, 127.0.0.0/8, [::1], 0.0.0.0, or one of
 * localHosts (ASCII case ignored).
 */
bool IsLocalHost(std::string_view host, const std::vector<std::string>& localHosts);

/**
 * A local link path as the page's <base> makes it: a relative one goes below the base's folder; nullopt when the
 * base names another host (the reference leaves the site).
 */
std::optional<std::string> ApplyBase(std::string path, const LinkScanState& state);

/** Notes a <base href> value (as written, in cp) in state, for the references after it. */
void NoteBase(CodePage cp, std::string_view value, LinkScanState& state);

std::string ResolveLinkTarget(std::string_view linkPath, std::string_view pageFolder, std::string_view outputRoot);

}  // namespace quernfold
