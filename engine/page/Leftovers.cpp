#include "engine/page/Leftovers.h"

#include <optional>
#include <string>

#include "engine/platform/Transcode.h"
#include "engine/text/AsciiText.h"

namespace quernfold {

namespace {

constexpr std::size_t kMostTextBytes = 200;  // of a line shown in the report

struct Pattern {
    std::string_view text;
    bool ignoreCase;
    bool wordStart;  // not right after a letter, digit or "_" ("guid=" is no "uid=")
    bool fileName;   // an extension: after a name character and before none (".db" in "shop.db", not ".dbf")
};

constexpr Pattern kServerCode[] = {
    {"<%", false, false, false},     {"<jsp:", false, false, false}, {"<c:", false, false, false},
    {"<s:", false, false, false},    {"<fmt:", false, false, false}, {"<html:", false, false, false},
    {"<bean:", false, false, false}, {"${", false, false, false},
};

constexpr Pattern kExposures[] = {
    {"Provider=", true, true, false},
    {"Data Source=", true, true, false},
    {"ConnectionString", true, true, false},
    {"jdbc:", true, true, false},
    {"Server.MapPath", true, true, false},
    {".mdb", true, false, true},
    {".accdb", true, false, true},
    {".db", true, false, true},
    {"password=", true, true, false},
    {"pwd=", true, true, false},
    {"uid=", true, true, false},
};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '_';
}

// A byte above 0x7F before an ASCII letter may be the lead byte of a double-byte character whose trail is that
// letter: in those code pages a match must not start right after one.
bool MayStartAt(CodePage cp, std::string_view line, std::size_t at, const Pattern& pattern) {
    if (at == 0) return true;
    const auto before = static_cast<unsigned char>(line[at - 1]);
    const bool doubleByte = cp != CodePage::Utf8 && cp != CodePage::SingleByte;
    if (doubleByte && before >= 0x80 && IsNameChar(pattern.text[0])) return false;
    if (pattern.wordStart && IsNameChar(static_cast<char>(before))) return false;
    if (pattern.fileName && !IsNameChar(static_cast<char>(before)) && before < 0x80) return false;
    return true;
}

bool EndsAt(std::string_view line, std::size_t end, const Pattern& pattern) {
    return !pattern.fileName || end >= line.size() || !IsNameChar(line[end]);
}

// How many times pattern stands in line.
std::int64_t Occurrences(CodePage cp, std::string_view line, const Pattern& pattern) {
    std::int64_t found = 0;
    for (std::size_t at = 0;; ++at) {
        at = pattern.ignoreCase ? FindIgnoringAsciiCase(line, pattern.text, at) : line.find(pattern.text, at);
        if (at == std::string_view::npos) return found;
        if (MayStartAt(cp, line, at, pattern) && EndsAt(line, at + pattern.text.size(), pattern)) ++found;
    }
}

std::string Shown(CodePage cp, std::string_view line) {
    const std::string_view trimmed = TrimAsciiSpace(line);
    const std::optional<std::string> utf8 = ToUtf8(cp, trimmed);
    std::string text = utf8 ? *utf8 : std::string(trimmed);
    if (text.size() > kMostTextBytes) {
        std::size_t cut = kMostTextBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // a whole UTF-8 character
        text.resize(cut);
        text += "...";
    }
    return text;
}

void FindInLine(CodePage cp, std::string_view line, std::int64_t number, const Pattern& pattern, NoteKind kind,
                PageLinkList& list) {
    const std::int64_t found = Occurrences(cp, line, pattern);
    // Server code counts each block; an exposure counts each line that shows it.
    const std::int64_t notes = kind == NoteKind::ServerCode ? found : (found > 0 ? 1 : 0);
    for (std::int64_t i = 0; i < notes; ++i)
        list.Add(number, i == 0 ? Shown(cp, line) : std::string(), std::string(pattern.text), kind);
}

}  // namespace

void FindLeftovers(CodePage cp, std::string_view text, std::int64_t firstLine, bool serverCode, PageLinkList& list) {
    std::int64_t number = firstLine;
    for (std::size_t start = 0; start < text.size(); ++number) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        const std::string_view line = text.substr(start, end - start);
        if (serverCode) {
            for (const Pattern& pattern : kServerCode)
                FindInLine(cp, line, number, pattern, NoteKind::ServerCode, list);
        }
        for (const Pattern& pattern : kExposures) FindInLine(cp, line, number, pattern, NoteKind::Exposure, list);
        if (newline == std::string_view::npos) break;
        start = newline + 1;
    }
}

}  // namespace quernfold
