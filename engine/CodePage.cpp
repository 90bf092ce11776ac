#include "engine/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace quernfold {

namespace {

constexpr std::size_t kDeclarationWindow = 4096;  // a charset declared later than this is not looked for

// ---------------------------------------------------------------------------------------------------------
// Small ASCII helpers (names and attributes in pages are ASCII; locale must not matter).

constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-' || c == '_' || c == ':' ||
           c == '.';
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::size_t at, std::string_view prefix) {
    return at <= text.size() && text.size() - at >= prefix.size() &&
           EqualsIgnoreCase(text.substr(at, prefix.size()), prefix);
}

std::size_t FindIgnoreCase(std::string_view text, std::string_view needle, std::size_t from = 0) {
    if (needle.size() > text.size()) {
        return std::string_view::npos;
    }
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (StartsWithIgnoreCase(text, i, needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::size_t SkipSpaces(std::string_view s, std::size_t i) {
    while (i < s.size() && IsSpace(s[i])) {
        ++i;
    }
    return i;
}

// ---------------------------------------------------------------------------------------------------------
// Character lengths per code page. Each takes size > 0 and never returns more than size.

constexpr bool InRange(unsigned char c, unsigned char lo, unsigned char hi) {
    return c >= lo && c <= hi;
}

constexpr bool IsGbkTrail(unsigned char c) {
    return InRange(c, 0x40, 0x7E) || InRange(c, 0x80, 0xFE);
}

struct GbkLength {
    static std::size_t Of(const unsigned char* p, std::size_t size) {
        return (InRange(p[0], 0x81, 0xFE) && size >= 2 && IsGbkTrail(p[1])) ? 2 : 1;
    }
};

struct Gb18030Length {
    static std::size_t Of(const unsigned char* p, std::size_t size) {
        if (!InRange(p[0], 0x81, 0xFE) || size < 2) {
            return 1;
        }
        if (IsGbkTrail(p[1])) {
            return 2;
        }
        if (size >= 4 && InRange(p[1], 0x30, 0x39) && InRange(p[2], 0x81, 0xFE) && InRange(p[3], 0x30, 0x39)) {
            return 4;
        }
        return 1;
    }
};

struct Big5Length {
    static std::size_t Of(const unsigned char* p, std::size_t size) {
        const bool trail = size >= 2 && (InRange(p[1], 0x40, 0x7E) || InRange(p[1], 0xA1, 0xFE));
        return (InRange(p[0], 0x81, 0xFE) && trail) ? 2 : 1;
    }
};

struct ShiftJisLength {
    static std::size_t Of(const unsigned char* p, std::size_t size) {
        const bool lead = InRange(p[0], 0x81, 0x9F) || InRange(p[0], 0xE0, 0xFC);
        return (lead && size >= 2 && (InRange(p[1], 0x40, 0x7E) || InRange(p[1], 0x80, 0xFC))) ? 2 : 1;
    }
};

// Bounds of the first continuation byte after a UTF-8 lead; they exclude overlongs, surrogates and
// anything above U+10FFFF. Returns the number of continuation bytes, or -1 when c cannot lead.
int Utf8LeadInfo(unsigned char c, unsigned char& lo, unsigned char& hi) {
    lo = 0x80;
    hi = 0xBF;
    if (InRange(c, 0xC2, 0xDF)) {
        return 1;
    }
    if (InRange(c, 0xE0, 0xEF)) {
        if (c == 0xE0) {
            lo = 0xA0;
        } else if (c == 0xED) {
            hi = 0x9F;
        }
        return 2;
    }
    if (InRange(c, 0xF0, 0xF4)) {
        if (c == 0xF0) {
            lo = 0x90;
        } else if (c == 0xF4) {
            hi = 0x8F;
        }
        return 3;
    }
    return -1;
}

struct Utf8Length {
    static std::size_t Of(const unsigned char* p, std::size_t size) {
        if (p[0] < 0x80) {
            return 1;
        }
        unsigned char lo = 0;
        unsigned char hi = 0;
        const int continuations = Utf8LeadInfo(p[0], lo, hi);
        if (continuations < 0 || size < static_cast<std::size_t>(continuations) + 1 || !InRange(p[1], lo, hi)) {
            return 1;
        }
        for (int i = 2; i <= continuations; ++i) {
            if (!InRange(p[i], 0x80, 0xBF)) {
                return 1;
            }
        }
        return static_cast<std::size_t>(continuations) + 1;
    }
};

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = Utf8Length::Of(p + i, text.size() - i);
        if (length == 1) {
            return false;
        }
        i += length;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Boundary search.

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// First byte at or after pos (and before end) that is not ASCII, or end.
std::size_t SkipAscii(const unsigned char* data, std::size_t pos, std::size_t end) {
    while (end - pos >= 8) {
        std::uint64_t word;
        std::memcpy(&word, data + pos, sizeof word);
        if ((word & kHighBits) != 0) {
            break;
        }
        pos += 8;
    }
    while (pos < end && data[pos] < 0x80) {
        ++pos;
    }
    return pos;
}

// Walks from the boundary pos to the first boundary at or after target. ASCII bytes are whole characters in
// every double-byte page, so runs of them are skipped a word at a time; only non-ASCII bytes are segmented.
template <typename Length>
std::size_t AdvanceTo(const unsigned char* data, std::size_t size, std::size_t pos, std::size_t target) {
    while (pos < target) {
        if (data[pos] < 0x80) {
            pos = SkipAscii(data, pos, target);
        } else {
            pos += Length::Of(data + pos, size - pos);
        }
    }
    return pos;
}

// Whether byte c can stand inside a longer character of cp rather than begin one: the trail bytes of the double-byte
// pages, and in GB18030 also the digits that are the second and fourth bytes of its four-byte characters.
constexpr bool MayContinueCharacter(CodePage cp, unsigned char c) {
    switch (cp) {
        case CodePage::Gbk:
            return InRange(c, 0x40, 0x7E) || InRange(c, 0x80, 0xFE);
        case CodePage::Gb18030:
            return InRange(c, 0x30, 0x39) || InRange(c, 0x40, 0x7E) || InRange(c, 0x80, 0xFE);
        case CodePage::Big5:
            return InRange(c, 0x40, 0x7E) || InRange(c, 0xA1, 0xFE);
        case CodePage::ShiftJis:
            return InRange(c, 0x40, 0x7E) || InRange(c, 0x80, 0xFC);
        case CodePage::Utf8:
            return InRange(c, 0x80, 0xBF);
        case CodePage::SingleByte:
            break;
    }
    return false;
}

// Looks for the whole needle byte by byte first and segments only up to each such occurrence: a keyword is rare in
// a page, so most texts are searched at the speed of memchr and never segmented at all.
template <typename Length>
std::size_t FindMultiByte(std::string_view text, std::string_view needle, std::size_t from) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t boundary = from;  // a known boundary; every boundary found is at or after it
    for (std::size_t at = from;;) {
        const std::size_t candidate = text.find(needle, at);
        if (candidate == std::string_view::npos) {
            return candidate;
        }
        // A candidate before the boundary lies inside the character that ends there.
        if (candidate >= boundary) {
            boundary = AdvanceTo<Length>(data, size, boundary, candidate);
            if (boundary == candidate) {
                return candidate;
            }
        }
        at = candidate + 1;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Declared charsets in the head of a file.

std::optional<CodePage> CodePageFromNumberText(std::string_view value) {
    value = Trim(value);
    if (value.empty() || value.size() > 9) {
        return std::nullopt;
    }
    long number = 0;
    for (char c : value) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    return CodePageFromNumber(number);
}

// The charset named inside a content-type value such as "text/html; charset=gbk".
std::optional<CodePage> CodePageFromContentType(std::string_view value) {
    for (std::size_t at = FindIgnoreCase(value, "charset"); at != std::string_view::npos;
         at = FindIgnoreCase(value, "charset", at + 1)) {
        std::size_t i = SkipSpaces(value, at + 7);
        if (i >= value.size() || value[i] != '=') {
            continue;
        }
        i = SkipSpaces(value, i + 1);
        if (i < value.size() && (value[i] == '"' || value[i] == '\'')) {
            ++i;
        }
        std::size_t end = i;
        while (end < value.size() && value[end] != ';' && value[end] != '"' && value[end] != '\'' &&
               !IsSpace(value[end])) {
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
        std::size_t j = SkipSpaces(body, i);
        if (j >= body.size() || body[j] != '=') {
            continue;
        }
        j = SkipSpaces(body, j + 1);
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
            while (end < body.size() && !IsSpace(body[end]) && body[end] != '>' && body[end] != '%' &&
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
    if (EqualsIgnoreCase(attribute.name, "pageEncoding")) {
        return CodePageFromCharsetName(attribute.value);
    }
    if (EqualsIgnoreCase(attribute.name, "contentType")) {
        return CodePageFromContentType(attribute.value);
    }
    if (EqualsIgnoreCase(attribute.name, "CodePage")) {
        return CodePageFromNumberText(attribute.value);
    }
    return std::nullopt;
}

std::optional<CodePage> FromMetaAttribute(const Attribute& attribute) {
    if (EqualsIgnoreCase(attribute.name, "charset")) {
        return CodePageFromCharsetName(attribute.value);
    }
    if (EqualsIgnoreCase(attribute.name, "content")) {
        return CodePageFromContentType(attribute.value);
    }
    return std::nullopt;
}

// "Response.CodePage = 65001" (or Session.CodePage) in ASP script; at points at the object name.
std::optional<CodePage> FromScriptCodePage(std::string_view head, std::size_t at, std::size_t& next) {
    std::size_t i = at;
    if (StartsWithIgnoreCase(head, i, "Response.CodePage")) {
        i += 17;
    } else if (StartsWithIgnoreCase(head, i, "Session.CodePage")) {
        i += 16;
    } else {
        return std::nullopt;
    }
    next = i;
    if (at > 0 && IsNameChar(head[at - 1])) {
        return std::nullopt;
    }
    i = SkipSpaces(head, i);
    if (i >= head.size() || head[i] != '=') {
        return std::nullopt;
    }
    i = SkipSpaces(head, i + 1);
    std::size_t end = i;
    while (end < head.size() && IsDigit(head[end])) {
        ++end;
    }
    next = end;
    if (end == head.size()) {
        return std::nullopt;  // the number may go on past the window
    }
    return CodePageFromNumberText(head.substr(i, end - i));
}

// The first recognised charset declaration in head, in file order.
std::optional<CodePage> FindDeclaredCodePage(std::string_view head) {
    std::size_t i = 0;
    while (i < head.size()) {
        const char c = head[i];
        if (c == '<') {
            std::string_view body;
            std::size_t end = std::string_view::npos;
            bool meta = false;
            if (StartsWithIgnoreCase(head, i, "<%@")) {
                end = head.find("%>", i + 3);
                body = head.substr(i + 3, end == std::string_view::npos ? std::string_view::npos : end - i - 3);
            } else if (StartsWithIgnoreCase(head, i, "<jsp:directive.page")) {
                end = head.find('>', i + 19);
                body = head.substr(i + 19, end == std::string_view::npos ? std::string_view::npos : end - i - 19);
            } else if (StartsWithIgnoreCase(head, i, "<meta") && i + 5 < head.size() &&
                       (IsSpace(head[i + 5]) || head[i + 5] == '/')) {
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
        if (c == 'R' || c == 'r' || c == 'S' || c == 's') {
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

CodePage CodePageOfChoice(CodePageChoice choice) {
    switch (choice) {
        case CodePageChoice::Gb18030:
            return CodePage::Gb18030;
        case CodePageChoice::Big5:
            return CodePage::Big5;
        case CodePageChoice::ShiftJis:
            return CodePage::ShiftJis;
        case CodePageChoice::Utf8:
            return CodePage::Utf8;
        case CodePageChoice::Auto:
        case CodePageChoice::Gbk:
            break;
    }
    return CodePage::Gbk;
}

// ---------------------------------------------------------------------------------------------------------
// iconv, with descriptors kept per thread: conversions come one include target at a time, on many threads.

const char* IconvName(CodePage cp) {
    switch (cp) {
        case CodePage::Gbk:
            return "GBK";
        case CodePage::Gb18030:
            return "GB18030";
        case CodePage::Big5:
            return "BIG5";
        case CodePage::ShiftJis:
            return "CP932";  // Windows' Shift_JIS: 0x5C stays a backslash, which matters in paths
        case CodePage::SingleByte:
            return "ISO-8859-1";
        case CodePage::Utf8:
            break;
    }
    return "UTF-8";
}

class IconvCache {
public:
    IconvCache() { m_descriptors.fill(Invalid()); }
    ~IconvCache() {
        for (iconv_t cd : m_descriptors) {
            if (cd != Invalid()) {
                iconv_close(cd);
            }
        }
    }
    IconvCache(const IconvCache&) = delete;
    IconvCache& operator=(const IconvCache&) = delete;

    iconv_t Get(CodePage cp, bool toUtf8) {
        iconv_t& cd = m_descriptors[static_cast<std::size_t>(cp) * 2 + (toUtf8 ? 1 : 0)];
        if (cd == Invalid()) {
            cd = toUtf8 ? iconv_open("UTF-8", IconvName(cp)) : iconv_open(IconvName(cp), "UTF-8");
        } else {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
        }
        return cd;
    }

    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::array<iconv_t, 12> m_descriptors{};
};

std::optional<std::string> Convert(iconv_t cd, std::string_view input) {
    if (cd == IconvCache::Invalid()) {
        return std::nullopt;
    }
    std::string output(input.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());  // iconv's signature; it does not write the input
    std::size_t inLeft = input.size();
    std::size_t written = 0;
    bool flushing = false;
    for (;;) {
        char* out = output.data() + written;
        std::size_t outLeft = output.size() - written;
        const std::size_t result =
            flushing ? iconv(cd, nullptr, nullptr, &out, &outLeft) : iconv(cd, &in, &inLeft, &out, &outLeft);
        written = output.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) {
                break;
            }
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            return std::nullopt;  // EILSEQ: invalid or unrepresentable; EINVAL: cut off at the end
        }
        output.resize(output.size() * 2);
    }
    output.resize(written);
    return output;
}

bool IsAscii(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    return SkipAscii(data, 0, text.size()) == text.size();
}

std::optional<std::string> Transcode(CodePage cp, std::string_view text, bool toUtf8) {
    if (IsAscii(text)) {
        return std::string(text);  // every supported code page is ASCII-compatible
    }
    if (cp == CodePage::Utf8) {
        return IsValidUtf8(text) ? std::optional<std::string>(std::string(text)) : std::nullopt;
    }
    if (!toUtf8 && !IsValidUtf8(text)) {
        return std::nullopt;
    }
    thread_local IconvCache cache;
    return Convert(cache.Get(cp, toUtf8), text);
}

}  // namespace

// -------------------------------------------------------------------------------------------------------------

std::optional<CodePageChoice> ParseCodePageChoice(std::string_view name) {
    static constexpr std::pair<std::string_view, CodePageChoice> kNames[] = {
        {"auto", CodePageChoice::Auto},          {"gbk", CodePageChoice::Gbk},
        {"gb18030", CodePageChoice::Gb18030},    {"big5", CodePageChoice::Big5},
        {"shift_jis", CodePageChoice::ShiftJis}, {"utf-8", CodePageChoice::Utf8},
    };
    for (const auto& [text, choice] : kNames) {
        if (EqualsIgnoreCase(name, text)) {
            return choice;
        }
    }
    return std::nullopt;
}

std::optional<CodePage> CodePageFromCharsetName(std::string_view name) {
    // Compare with case, "-", "_" and spaces dropped, so "UTF8", "Shift-JIS" and "ISO_8859-1" all match.
    std::string key;
    for (char c : Trim(name)) {
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
            if (!IsDigit(key[i])) {
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

std::size_t CharLength(CodePage cp, const unsigned char* data, std::size_t size) {
    switch (cp) {
        case CodePage::Gbk:
            return GbkLength::Of(data, size);
        case CodePage::Gb18030:
            return Gb18030Length::Of(data, size);
        case CodePage::Big5:
            return Big5Length::Of(data, size);
        case CodePage::ShiftJis:
            return ShiftJisLength::Of(data, size);
        case CodePage::Utf8:
            return Utf8Length::Of(data, size);
        case CodePage::SingleByte:
            break;
    }
    return 1;
}

std::size_t FindAtBoundary(CodePage cp, std::string_view text, std::string_view needle, std::size_t from) {
    if (from > text.size() || needle.size() > text.size() - from) {
        return std::string_view::npos;
    }
    if (needle.empty()) {
        return from;
    }
    if (!MayContinueCharacter(cp, static_cast<unsigned char>(needle.front()))) {
        // Wherever this byte stands it begins a character, so every occurrence of the needle is at a boundary:
        // the common searches (".jsp", "<!--", "-->") need no segmentation at all.
        return text.find(needle, from);
    }
    switch (cp) {
        case CodePage::Gbk:
            return FindMultiByte<GbkLength>(text, needle, from);
        case CodePage::Gb18030:
            return FindMultiByte<Gb18030Length>(text, needle, from);
        case CodePage::Big5:
            return FindMultiByte<Big5Length>(text, needle, from);
        case CodePage::ShiftJis:
            return FindMultiByte<ShiftJisLength>(text, needle, from);
        case CodePage::Utf8:
        case CodePage::SingleByte:
            break;
    }
    // An ASCII byte is never part of a longer character here, so every occurrence is at a boundary.
    return text.find(needle, from);
}

// -------------------------------------------------------------------------------------------------------------

CodePageDetector::CodePageDetector(CodePageChoice choice) : m_choice(choice) {
    m_head.reserve(kDeclarationWindow);
}

bool CodePageDetector::NeedsWholeFile() const {
    return m_choice == CodePageChoice::Auto;
}

void CodePageDetector::Feed(std::string_view chunk) {
    if (m_head.size() < kDeclarationWindow) {
        m_head.append(chunk.substr(0, kDeclarationWindow - m_head.size()));
    }
    if (m_choice != CodePageChoice::Auto || !m_validUtf8) {
        return;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(chunk.data());
    const std::size_t size = chunk.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = data[i];
        if (m_pendingContinuation > 0) {
            unsigned char lo = 0x80;
            unsigned char hi = 0xBF;
            if (m_pendingIndex == 0) {
                Utf8LeadInfo(m_pendingLead, lo, hi);
            }
            if (!InRange(c, lo, hi)) {
                m_validUtf8 = false;
                return;
            }
            ++m_pendingIndex;
            --m_pendingContinuation;
            ++i;
        } else if (c < 0x80) {
            i = SkipAscii(data, i, size);
        } else {
            unsigned char lo = 0;
            unsigned char hi = 0;
            const int continuations = Utf8LeadInfo(c, lo, hi);
            if (continuations < 0) {
                m_validUtf8 = false;
                return;
            }
            m_sawNonAscii = true;
            m_pendingLead = c;
            m_pendingIndex = 0;
            m_pendingContinuation = continuations;
            ++i;
        }
    }
}

DetectedCodePage CodePageDetector::Finish() const {
    DetectedCodePage result;
    const std::string_view head = m_head;
    if (head.starts_with("\xEF\xBB\xBF")) {
        result.bomLength = 3;
    } else if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
        result.utf16 = true;
    }
    if (m_choice != CodePageChoice::Auto) {
        result.codePage = CodePageOfChoice(m_choice);
    } else if (result.bomLength > 0) {
        result.codePage = CodePage::Utf8;
    } else if (result.utf16) {
        result.codePage = CodePage::Gbk;  // not read at all; any value will do
    } else if (m_validUtf8 && m_pendingContinuation == 0 && m_sawNonAscii) {
        result.codePage = CodePage::Utf8;
    } else {
        result.codePage = FindDeclaredCodePage(head).value_or(CodePage::Gbk);
    }
    return result;
}

// -------------------------------------------------------------------------------------------------------------

std::optional<std::string> ToUtf8(CodePage cp, std::string_view text) {
    return Transcode(cp, text, true);
}

std::optional<std::string> FromUtf8(CodePage cp, std::string_view utf8) {
    return Transcode(cp, utf8, false);
}

}  // namespace quernfold
