#include "engine/page/CssLinks.h"

#include <optional>
#include <string>

#include "engine/page/PageLinks.h"
#include "engine/platform/Transcode.h"
#include "engine/text/AsciiText.h"

namespace quernfold {

namespace {

bool IsNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '-' || c == '_';
}

struct Value {
    std::size_t start = 0;
    std::size_t end = 0;  // where the value ends; the scan goes on after it
};

// A quoted string at at (its quote included), or for url( an unquoted value up to ")".
std::optional<Value> ReadCssValue(std::string_view css, std::size_t at, bool inUrl) {
    at = SkipAsciiSpace(css, at);
    if (at >= css.size()) return std::nullopt;
    const char first = css[at];
    if (first == '"' || first == '\'') {
        const std::size_t close = css.find_first_of(std::string_view(&first, 1), at + 1);
        if (close == std::string_view::npos) return std::nullopt;
        return Value{at + 1, close};
    }
    if (!inUrl) return std::nullopt;
    std::size_t end = at;
    while (end < css.size() && css[end] != ')' && !IsAsciiSpace(css[end])) ++end;
    if (end == at) return std::nullopt;
    return Value{at, end};
}

}  // namespace

void CollectCssLinks(CodePage cp, std::string_view css, std::vector<PageLink>& links) {
    PageLinkList list(links);
    std::int64_t line = 1;
    const auto* data = reinterpret_cast<const unsigned char*>(css.data());
    std::size_t i = 0;
    auto note = [&](const Value& value) {
        const std::string_view text = css.substr(value.start, value.end - value.start);
        std::optional<std::string> utf8 = ToUtf8(cp, text);
        std::string written = utf8 ? std::move(*utf8) : std::string(text);
        if (IsWebUrl(written)) {
            list.Add(line, written, written, NoteKind::AbsoluteUrl);
        } else if (std::optional<std::string> path = LocalLinkPath(cp, text, false)) {
            list.Add(line, written, std::move(*path), NoteKind::Link, QueryOf(written));
        }
        // The value's own line breaks (an escaped newline in a string) still count.
        for (std::size_t j = i; j < value.end; ++j) line += css[j] == '\n';
        i = value.end;
    };
    while (i < css.size()) {
        const char c = css[i];
        if (c == '\n') ++line;
        if (c == '/' && css.substr(i, 2) == "/*") {
            // Comments hold no reference. "*", quotes, ")" and blanks are never a trail byte in these code
            // pages, so jumping to one by a byte search keeps the walk on character boundaries.
            const std::size_t close = css.find("*/", i + 2);
            const std::size_t end = close == std::string_view::npos ? css.size() : close + 2;
            for (std::size_t j = i + 1; j < end; ++j) line += css[j] == '\n';
            i = end;
            continue;
        }
        const bool wordStart = i == 0 || !IsNameByte(css[i - 1]);
        if (wordStart && StartsWithIgnoringAsciiCase(css, i, "url(")) {
            if (const std::optional<Value> value = ReadCssValue(css, i + 4, true)) {
                note(*value);
                continue;
            }
        } else if (c == '@' && StartsWithIgnoringAsciiCase(css, i, "@import")) {
            if (const std::optional<Value> value = ReadCssValue(css, i + 7, false)) {
                note(*value);
                continue;
            }
        }
        i += CharLength(cp, data + i, css.size() - i);
    }
}

}  // namespace quernfold
