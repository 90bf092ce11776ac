#include "engine/text/CharsetDeclaration.h"

#include <utility>

#include "engine/text/AsciiText.h"

namespace quernfold {

namespace {

// Attribute names in tags and directives; ASCII, the locale must not matter.
constexpr bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '-' || c == '_' || c == ':' ||
           c == '.';
}

std::optional<CodePage> CodePageFromNumberText(std::string_view value) {
    value = TrimAsciiSpace(value);
    if (value.empty() || value.size() > 9) {
        return std::nullopt;
    }
    long number = 0;
    for (char c : value) {
        if (!IsAsciiDigit(c)) {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    return CodePageFromNumber(number);
}

// The charset named inside a content-type value such as "text/html; charset=gbk".
std::optional<CodePage> CodePageFromContentType(std::string_view value) {
    for (std::size_t at = FindIgnoringAsciiCase(value, "charset"); at != std::string_view::npos;
         at = FindIgnoringAsciiCase(value, "charset", at + 1)) {
        std::size_t i = SkipAsciiSpace(value, at + 7);
        if (i >= value.size() || value[i] != '=') {
            continue;
        }
        i = SkipAsciiSpace(value, i + 1);
        if (i < value.size() && (value[i] == '"' || value[i] == '\'')) {
            ++i;
        }
        std::size_t end = i;
        while (end < value.size() && value[end] != ';' && value[end] != '"' && value[end] != '\'' &&
               !IsAsciiSpace(value[end])) {
            ++end;
        }
        return CodePageFromCharsetName(value.substr(i, end - i));
    }
    return std::nullopt;
}

struct Attribute {
    std::string_view name;
    std::string_view value;
};

// Reads name="value" pairs (quotes optional, spaces allowed around "=") from the body of a tag or directive,
// in order, until the handler returns a code page or the body ends.
template <typename Handler>
std::optional<CodePage> ScanAttributes(std::string_view body, Handler handler) {
    std::size_t i = 0;
    while (i < body.size()) {
        if (!IsNameChar(body[i])) {
            ++i;
            continue;
        }
        const std::size_t nameStart = i;
        while (i < body.size() && IsNameChar(body[i])) {
            ++i;
        }
        Attribute attribute{body.substr(nameStart, i - nameStart), {}};
        std::size_t j = SkipAsciiSpace(body, i);
        if (j >= body.size() || body[j] != '=') {
            continue;
        }
        j = SkipAsciiSpace(body, j + 1);
        if (j < body.size() && (body[j] == '"' || body[j] == '\'')) {
            const char quote = body[j];
            const std::size_t close = body.find(quote, j + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;  // the value runs past what we hold
            }
            attribute.value = body.substr(j + 1, close - j - 1);
            i = close + 1;
        } else {
            std::size_t end = j;
            while (end < body.size() && !IsAsciiSpace(body[end]) && body[end] != '>' && body[end] != '%' &&
                   body[end] != '/' && body[end] != ';' && body[end] != '"' && body[end] != '\'') {
                ++end;
            }
            attribute.value = body.substr(j, end - j);
            i = end;
        }
        if (auto found = handler(attribute)) {
            return found;
        }
    }
    return std::nullopt;
}

std::optional<CodePage> FromDirectiveAttribute(const Attribute& attribute) {
    if (EqualsIgnoringAsciiCase(attribute.name, "pageEncoding")) {
        return CodePageFromCharsetName(attribute.value);
    }
    if (EqualsIgnoringAsciiCase(attribute.name, "contentType")) {
        return CodePageFromContentType(attribute.value);
    }
    if (EqualsIgnoringAsciiCase(attribute.name, "CodePage")) {
        return CodePageFromNumberText(attribute.value);
    }
    return std::nullopt;
}

std::optional<CodePage> FromMetaAttribute(const Attribute& attribute) {
    if (EqualsIgnoringAsciiCase(attribute.name, "charset")) {
        return CodePageFromCharsetName(attribute.value);
    }
    if (EqualsIgnoringAsciiCase(attribute.name, "content")) {
        return CodePageFromContentType(attribute.value);
    }
    return std::nullopt;
}

bool MayStartDeclaration(char c) {
    const char lower = static_cast<char>(c | 0x20);
    return c == '<' || lower == 'r' || lower == 's';
}

// "Response.CodePage = 65001" (or Session.CodePage) in ASP script; at points at the object name.
std::optional<CodePage> FromScriptCodePage(std::string_view head, std::size_t at, std::size_t& next) {
    std::size_t i = at;
    if (StartsWithIgnoringAsciiCase(head, i, "Response.CodePage")) {
        i += 17;
    } else if (StartsWithIgnoringAsciiCase(head, i, "Session.CodePage")) {
        i += 16;
    } else {
        return std::nullopt;
    }
    next = i;
    if (at > 0 && IsNameChar(head[at - 1])) {
        return std::nullopt;
    }
    i = SkipAsciiSpace(head, i);
    if (i >= head.size() || head[i] != '=') {
        return std::nullopt;
    }
    i = SkipAsciiSpace(head, i + 1);
    std::size_t end = i;
    while (end < head.size() && IsAsciiDigit(head[end])) {
        ++end;
    }
    next = end;
    if (end == head.size()) {
        return std::nullopt;  // the number may go on past the window
    }
    return CodePageFromNumberText(head.substr(i, end - i));
}

}  // namespace

// -------------------------------------------------------------------------------------------------------------

std::optional<CodePage> CodePageFromCharsetName(std::string_view name) {
    // Compare with case, "-", "_" and spaces dropped, so "UTF8", "Shift-JIS" and "ISO_8859-1" all match.
    std::string key;
    for (char c : TrimAsciiSpace(name)) {
        if (c != '-' && c != '_' && c != ' ') {
            key += LowerAscii(c);
        }
    }
    static constexpr std::pair<std::string_view, CodePage> kNames[] = {
        {"gbk", CodePage::Gbk},          {"gb2312", CodePage::Gbk},        {"cp936", CodePage::Gbk},
        {"ms936", CodePage::Gbk},        {"windows936", CodePage::Gbk},    {"xgbk", CodePage::Gbk},
        {"euccn", CodePage::Gbk},        {"gb18030", CodePage::Gb18030},   {"big5", CodePage::Big5},
        {"big5hkscs", CodePage::Big5},   {"cp950", CodePage::Big5},        {"ms950", CodePage::Big5},
        {"xbig5", CodePage::Big5},       {"shiftjis", CodePage::ShiftJis}, {"sjis", CodePage::ShiftJis},
        {"ms932", CodePage::ShiftJis},   {"cp932", CodePage::ShiftJis},    {"windows31j", CodePage::ShiftJis},
        {"xsjis", CodePage::ShiftJis},   {"utf8", CodePage::Utf8},         {"usascii", CodePage::SingleByte},
        {"ascii", CodePage::SingleByte}, {"latin1", CodePage::SingleByte},
    };
    for (const auto& [text, cp] : kNames) {
        if (key == text) {
            return cp;
        }
    }
    // iso-8859-1 .. iso-8859-16, windows-1250 .. windows-1258 (also spelt cp125x).
    const auto numberAfter = [&key](std::string_view prefix) -> long {
        if (key.size() <= prefix.size() || key.size() > prefix.size() + 4 ||
            key.compare(0, prefix.size(), prefix) != 0) {
            return -1;
        }
        long number = 0;
        for (std::size_t i = prefix.size(); i < key.size(); ++i) {
            if (!IsAsciiDigit(key[i])) {
                return -1;
            }
            number = number * 10 + (key[i] - '0');
        }
        return number;
    };
    const long iso = numberAfter("iso8859");
    if (iso >= 1 && iso <= 16 && iso != 12) {
        return CodePage::SingleByte;
    }
    for (std::string_view prefix : {"windows", "cp"}) {
        const long windows = numberAfter(prefix);
        if (windows >= 1250 && windows <= 1258) {
            return CodePage::SingleByte;
        }
    }
    return std::nullopt;
}

std::optional<CodePage> CodePageFromNumber(long number) {
    switch (number) {
        case 936:
            return CodePage::Gbk;
        case 54936:
            return CodePage::Gb18030;
        case 950:
            return CodePage::Big5;
        case 932:
            return CodePage::ShiftJis;
        case 65001:
            return CodePage::Utf8;
        default:
            break;
    }
    if ((number >= 1250 && number <= 1258) || (number >= 28591 && number <= 28599)) {
        return CodePage::SingleByte;
    }
    return std::nullopt;
}

std::optional<CodePage> FindDeclaredCodePage(std::string_view head) {
    std::size_t i = 0;
    while (i < head.size()) {
        // Most bytes cannot start a declaration: skip them in a tight loop.
        while (i < head.size() && !MayStartDeclaration(head[i])) ++i;
        if (i == head.size()) break;
        const char c = head[i];
        if (c == '<') {
            std::string_view body;
            std::size_t end = std::string_view::npos;
            bool meta = false;
            if (StartsWithIgnoringAsciiCase(head, i, "<%@")) {
                end = head.find("%>", i + 3);
                body = head.substr(i + 3, end == std::string_view::npos ? std::string_view::npos : end - i - 3);
            } else if (StartsWithIgnoringAsciiCase(head, i, "<jsp:directive.page")) {
                end = head.find('>', i + 19);
                body = head.substr(i + 19, end == std::string_view::npos ? std::string_view::npos : end - i - 19);
            } else if (StartsWithIgnoringAsciiCase(head, i, "<meta") && i + 5 < head.size() &&
                       (IsAsciiSpace(head[i + 5]) || head[i + 5] == '/')) {
                meta = true;
                end = head.find('>', i + 5);
                body = head.substr(i + 5, end == std::string_view::npos ? std::string_view::npos : end - i - 5);
            } else {
                ++i;
                continue;
            }
            if (end == std::string_view::npos) {
                return std::nullopt;  // cut off by the window: not a declaration we can trust
            }
            const auto found =
                meta ? ScanAttributes(body, FromMetaAttribute) : ScanAttributes(body, FromDirectiveAttribute);
            if (found) {
                return found;
            }
            i = end + 1;
            continue;
        }
        if ((c == 'R' || c == 'r' || c == 'S' || c == 's') && i + 1 < head.size() && (head[i + 1] | 0x20) == 'e') {
            // Only "Response." and "Session." lead anywhere: letters r and s are everywhere in page text.
            std::size_t next = i + 1;
            if (const auto found = FromScriptCodePage(head, i, next)) {
                return found;
            }
            i = std::max(next, i + 1);
            continue;
        }
        ++i;
    }
    return std::nullopt;
}

}  // namespace quernfold
