#include "engine/page/PageLinks.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/text/AsciiText.h"
#include "engine/output/PathRules.h"
#include "engine/platform/Transcode.h"

namespace quernfold {

namespace {

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsNameByte(unsigned char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsLinkAttribute(std::string_view name) {
    static constexpr std::string_view kNames[] = {"href", "src", "action", "background", "poster"};
    for (const std::string_view known : kNames) {
        if (EqualsIgnoringAsciiCase(name, known)) return true;
    }
    return false;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/** Walks text by characters of its code page. */
class Cursor {
public:
    Cursor(CodePage cp, std::string_view text) : m_cp(cp), m_text(text) {}
    bool AtEnd() const { return m_at >= m_text.size(); }
    std::size_t At() const { return m_at; }
    // The byte at the cursor when it is a one-byte (ASCII) character; 0x80 stands for any wider character.
    unsigned char Peek() const {
        const auto byte = static_cast<unsigned char>(m_text[m_at]);
        return byte < 0x80 ? byte : 0x80;
    }
    void Step() {
        m_at += CharLength(m_cp, reinterpret_cast<const unsigned char*>(m_text.data()) + m_at, m_text.size() - m_at);
    }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(Peek())) Step();
    }
    // Only to an ASCII delimiter found by its bytes: none of the code pages here uses "<", "%", "-", "/" or ">"
    // as a trail byte, so such a byte always starts a character.
    void JumpTo(std::size_t at) { m_at = std::min(at, m_text.size()); }

private:
    CodePage m_cp;
    std::string_view m_text;
    std::size_t m_at = 0;
};

// Reads a value at the cursor: quoted, or up to a blank or ">" (for url(): up to ")").
std::optional<FoundLink> ReadValue(Cursor& cursor, std::string_view text, bool inUrl) {
    cursor.SkipBlanks();
    if (cursor.AtEnd()) return std::nullopt;
    const unsigned char first = cursor.Peek();
    if (first == '"' || first == '\'') {
        cursor.Step();
        const std::size_t start = cursor.At();
        while (!cursor.AtEnd() && cursor.Peek() != first) cursor.Step();
        if (cursor.AtEnd()) return std::nullopt;
        const std::size_t end = cursor.At();
        cursor.Step();
        return FoundLink{start, text.substr(start, end - start)};
    }
    const std::size_t start = cursor.At();
    while (!cursor.AtEnd()) {
        const unsigned char c = cursor.Peek();
        if (IsBlank(c) || (inUrl ? c == ')' : (c == '>' || c == '"' || c == '\''))) break;
        cursor.Step();
    }
    if (cursor.At() == start) return std::nullopt;
    return FoundLink{start, text.substr(start, cursor.At() - start)};
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a reference such as "amp", "#38" or "#x26" (without "&" and ";") stands for; 0 when none.
std::uint32_t ReferencedCharacter(std::string_view name) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"lt", '<'}, {"gt", '>'}};
    for (const auto& [known, c] : kNamed) {
        if (name == known) return static_cast<std::uint32_t>(c);
    }
    if (name.size() < 2 || name[0] != '#') return 0;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 7) return 0;
    std::uint32_t code = 0;
    for (const char digit : digits) {
        const int value = hex ? HexValue(digit) : (digit >= '0' && digit <= '9' ? digit - '0' : -1);
        if (value < 0) return 0;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code > 0x10FFFF || surrogate ? 0 : code;
}

// A browser reads an attribute value with its character references decoded: "a&amp;b.css" names a&b.css, and
// "&#35;" is no fragment. text is UTF-8.
std::string DecodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t semicolon = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
        if (semicolon != std::string_view::npos && semicolon - i <= 10) {
            if (const std::uint32_t code = ReferencedCharacter(text.substr(i + 1, semicolon - i - 1))) {
                AppendUtf8(out, code);
                i = semicolon + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// Whether text holds the tag name at (just after "<"), ended by a blank, "/" or ">" (or the piece's end).
bool TagNameAt(std::string_view text, std::size_t at, std::string_view name) {
    if (!StartsWithIgnoringAsciiCase(text, at, name)) return false;
    if (at + name.size() >= text.size()) return true;
    const auto next = static_cast<unsigned char>(text[at + name.size()]);
    return IsBlank(next) || next == '/' || next == '>';
}

// Moves the cursor past the end of what state skips, or to the end of the piece when it does not end here.
void SkipToEnd(Cursor& cursor, std::string_view text, LinkScanState& state) {
    using Skipping = LinkScanState::Skipping;
    const std::string_view end = state.skipping == Skipping::Comment ? "-->"
                                 : state.skipping == Skipping::Script ? "</script"
                                                                      : "%>";
    const std::size_t found = state.skipping == Skipping::Script ? FindIgnoringAsciiCase(text, end, cursor.At())
                                                                 : text.find(end, cursor.At());
    if (found == std::string_view::npos) {
        cursor.JumpTo(text.size());
        return;
    }
    // A script body ends where its end tag starts: the tag itself is read as any other.
    cursor.JumpTo(state.skipping == Skipping::Script ? found : found + end.size());
    state.skipping = Skipping::None;
}

// At a "<": notes what it opens. True when the cursor moved past a comment or server code opening.
bool OpenAt(Cursor& cursor, std::string_view text, bool inQuote, LinkScanState& state) {
    using Skipping = LinkScanState::Skipping;
    const std::size_t at = cursor.At();
    if (text.substr(at, 2) == "<%") {
        state.skipping = Skipping::ServerCode;
        cursor.JumpTo(at + 2);
        return true;
    }
    if (inQuote) return false;
    if (text.substr(at, 4) == "<!--") {
        state.skipping = Skipping::Comment;
        cursor.JumpTo(at + 4);
        return true;
    }
    state.inScriptTag = TagNameAt(text, at + 1, "script");
    state.inBaseTag = TagNameAt(text, at + 1, "base");
    // A name with a prefix ("c:url", "html:link") is a custom tag, written out by the server in its own way.
    std::size_t end = at + 1;
    while (end < text.size() && IsNameByte(static_cast<unsigned char>(text[end]))) ++end;
    state.inServerTag = end > at + 1 && end < text.size() && text[end] == ':';
    return false;
}

}  // namespace

void FindLinks(CodePage cp, std::string_view text, std::vector<FoundLink>& links) {
    LinkScanState state;
    FindLinks(cp, text, links, state);
}

void FindLinks(CodePage cp, std::string_view text, std::vector<FoundLink>& links, LinkScanState& state) {
    Cursor cursor(cp, text);
    unsigned char before = ' ';  // the character before the cursor, as Peek gives it
    unsigned char quote = 0;     // inside the quoted value of another attribute: only url() counts there
    while (!cursor.AtEnd()) {
        if (state.skipping != LinkScanState::Skipping::None) {
            SkipToEnd(cursor, text, state);
            before = ' ';
            continue;
        }
        const unsigned char c = cursor.Peek();
        // A quote left open ends with its line, so one stray apostrophe cannot hide the rest of a page.
        if (quote != 0 && (c == quote || c == '\n')) quote = 0;
        if (c == '<' && OpenAt(cursor, text, quote != 0, state)) continue;
        if (c == '>' && quote == 0) {
            if (state.inScriptTag) state.skipping = LinkScanState::Skipping::Script;
            state.inScriptTag = state.inBaseTag = state.inServerTag = false;
        }
        if (!IsAsciiLetter(c) || IsNameByte(before) || before == 0x80) {
            before = c;
            cursor.Step();
            continue;
        }
        const bool nameMayStart = IsBlank(before) || before == '"' || before == '\'';
        const std::size_t nameStart = cursor.At();
        while (!cursor.AtEnd() && IsNameByte(cursor.Peek())) cursor.Step();
        const std::string_view name = text.substr(nameStart, cursor.At() - nameStart);
        before = static_cast<unsigned char>(name.back());
        if (!cursor.AtEnd() && cursor.Peek() == '(' && EqualsIgnoringAsciiCase(name, "url")) {
            cursor.Step();
            if (auto link = ReadValue(cursor, text, true)) links.push_back(*link);
            before = ')';
            continue;
        }
        if (quote != 0) continue;
        Cursor ahead = cursor;  // a name without "=" leaves the blanks after it to start the next name
        ahead.SkipBlanks();
        if (ahead.AtEnd() || ahead.Peek() != '=') continue;
        cursor = ahead;
        cursor.Step();
        before = '=';
        if (nameMayStart && IsLinkAttribute(name) && !state.inServerTag) {
            if (auto link = ReadValue(cursor, text, false)) {
                link->base = state.inBaseTag && EqualsIgnoringAsciiCase(name, "href");
                links.push_back(*link);
            }
            before = '"';
            continue;
        }
        // The value of another attribute (alt="src=x") is no reference, but a style attribute may hold url().
        cursor.SkipBlanks();
        if (!cursor.AtEnd() && (cursor.Peek() == '"' || cursor.Peek() == '\'')) {
            quote = cursor.Peek();
            before = quote;
            cursor.Step();
        } else {
            ReadValue(cursor, text, false);
        }
    }
}

std::optional<std::string> LocalLinkPath(CodePage cp, std::string_view value, bool inHtml) {
    const std::string_view trimmed = TrimSpaces(value);
    const std::optional<std::string> utf8 = ToUtf8(cp, trimmed);
    const std::string_view readable = utf8 ? std::string_view(*utf8) : trimmed;
    const std::string decoded = inHtml ? DecodeCharacterReferences(readable) : std::string(readable);
    std::string_view link = decoded;
    const std::size_t cut = link.find_first_of("?#");
    if (cut == 0 || link.empty()) return std::nullopt;
    if (link.starts_with("//") || link.starts_with("\\\\")) return std::nullopt;
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":" (before any "/").
    if (IsAsciiLetter(static_cast<unsigned char>(link[0]))) {
        std::size_t i = 1;
        while (i < link.size() && (IsAsciiLetter(static_cast<unsigned char>(link[i])) ||
                                   (link[i] >= '0' && link[i] <= '9') || link[i] == '+' || link[i] == '-' ||
                                   link[i] == '.')) {
            ++i;
        }
        if (i < link.size() && link[i] == ':') return std::nullopt;
    }
    if (cut != std::string_view::npos) link = link.substr(0, cut);
    const std::string_view text = link;
    std::string path;
    path.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            path += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            path += text[i] == '\\' ? '/' : text[i];  // browsers read a backslash in a path as a slash
        }
    }
    return path.empty() ? std::nullopt : std::optional<std::string>(std::move(path));
}

bool IsWebUrl(std::string_view value) {
    const std::string_view trimmed = TrimAsciiSpace(value);
    return trimmed.starts_with("//") || StartsWithIgnoringAsciiCase(trimmed, 0, "http://") ||
           StartsWithIgnoringAsciiCase(trimmed, 0, "https://");
}

std::string_view QueryOf(std::string_view value) {
    const std::size_t question = value.find('?');
    if (question == std::string_view::npos) return {};
    const std::size_t hash = value.find('#', question);
    return value.substr(question + 1, hash == std::string_view::npos ? std::string_view::npos : hash - question - 1);
}

std::string HostOf(std::string_view url) {
    url = TrimAsciiSpace(url);
    const std::size_t slashes = url.find("//");
    if (slashes == std::string_view::npos) return {};
    std::string_view rest = url.substr(slashes + 2);
    rest = rest.substr(0, rest.find_first_of("/?#\\"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
    if (rest.starts_with("[")) {
        rest = rest.substr(0, rest.find(']') == std::string_view::npos ? rest.size() : rest.find(']') + 1);
    } else {
        rest = rest.substr(0, rest.find(':'));
    }
    return FoldAsciiCase(rest);
}

bool IsLocalHost(std::string_view host, const std::vector<std::string>& localHosts) {
    if (host == "localhost" || host == "[::1]" || host == "0.0.0.0") return true;
    for (const std::string& name : localHosts) {
        if (EqualsIgnoringAsciiCase(host, name)) return true;
    }
    // 127.0.0.0/8: four whole numbers up to 255, the first 127.
    const std::vector<std::string_view> parts = SplitKeepEmpty(host, '.');
    if (parts.size() != 4 || parts[0] != "127") return false;
    for (const std::string_view part : parts) {
        if (part.empty() || part.size() > 3) return false;
        int value = 0;
        for (const char digit : part) {
            if (!IsAsciiDigit(digit)) return false;
            value = value * 10 + (digit - '0');
        }
        if (value > 255) return false;
    }
    return true;
}

std::optional<std::string> ApplyBase(std::string path, const LinkScanState& state) {
    if (path.starts_with("/")) return path;
    if (state.baseElsewhere) return std::nullopt;
    return state.baseFolder + path;
}

void NoteBase(CodePage cp, std::string_view value, LinkScanState& state) {
    state.baseFolder.clear();
    state.baseElsewhere = false;
    const std::optional<std::string> path = LocalLinkPath(cp, value);
    if (!path) {
        // "#top" or "?a=1" keep the page's folder; a scheme or "//host" moves every relative reference there.
        const std::string_view trimmed = TrimSpaces(value);
        state.baseElsewhere = !trimmed.empty() && trimmed[0] != '#' && trimmed[0] != '?';
        return;
    }
    const std::size_t slash = path->rfind('/');
    if (slash != std::string::npos) state.baseFolder = path->substr(0, slash + 1);
}

std::string ResolveLinkTarget(std::string_view linkPath, std::string_view pageFolder, std::string_view outputRoot) {
    std::vector<std::string_view> kept;
    const bool rooted = linkPath.starts_with("/") || !pageFolder.starts_with(outputRoot);
    const std::string_view base = rooted ? std::string_view() : pageFolder.substr(outputRoot.size());
    for (const std::string_view part : {base, linkPath}) {
        for (const std::string_view segment : SplitKeepEmpty(part, '/')) {
            if (segment.empty() || segment == ".") continue;
            if (segment == "..") {
                if (!kept.empty()) kept.pop_back();
                continue;
            }
            kept.push_back(segment);
        }
    }
    std::string target(outputRoot);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) target += '/';
        target.append(kept[i]);
    }
    if (linkPath.ends_with("/") && !kept.empty()) target += '/';
    return target;
}

}  // namespace quernfold
