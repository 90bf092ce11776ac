#include "engine/page/PageLinks.h"

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

}  // namespace

void FindLinks(CodePage cp, std::string_view text, std::vector<FoundLink>& links) {
    Cursor cursor(cp, text);
    unsigned char before = ' ';  // the character before the cursor, as Peek gives it
    unsigned char quote = 0;     // inside the quoted value of another attribute: only url() counts there
    while (!cursor.AtEnd()) {
        const unsigned char c = cursor.Peek();
        // A quote left open ends with its line, so one stray apostrophe cannot hide the rest of a page.
        if (quote != 0 && (c == quote || c == '\n')) quote = 0;
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
        if (nameMayStart && IsLinkAttribute(name)) {
            if (auto link = ReadValue(cursor, text, false)) links.push_back(*link);
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

std::optional<std::string> LocalLinkPath(CodePage cp, std::string_view value) {
    std::string_view link = TrimSpaces(value);
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
    const std::optional<std::string> utf8 = ToUtf8(cp, link);
    const std::string text = utf8.value_or(std::string(link));
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
