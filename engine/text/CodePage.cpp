#include "engine/text/CodePage.h"

#include <utility>

#include "engine/text/AsciiText.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

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
struct Utf8Length {
    static std::size_t Of(const unsigned char* p, std::size_t size) {
        const std::size_t length = Utf8SequenceLength(p, size);
        return length == 0 ? 1 : length;
    }
};

// ---------------------------------------------------------------------------------------------------------
// Boundary search.

// Walks from the boundary pos to the first boundary at or after target. ASCII bytes are whole characters in
// every double-byte page, so runs of them are skipped a word at a time; only non-ASCII bytes are segmented.
template <typename Length>
std::size_t AdvanceTo(const unsigned char* data, std::size_t size, std::size_t pos, std::size_t target) {
    while (pos < target) {
        if (data[pos] < 0x80) {
            pos = SkipAsciiBytes(data, pos, target);
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

}  // namespace

// -------------------------------------------------------------------------------------------------------------

std::optional<CodePageChoice> ParseCodePageChoice(std::string_view name) {
    static constexpr std::pair<std::string_view, CodePageChoice> kNames[] = {
        {"auto", CodePageChoice::Auto},          {"gbk", CodePageChoice::Gbk},
        {"gb18030", CodePageChoice::Gb18030},    {"big5", CodePageChoice::Big5},
        {"shift_jis", CodePageChoice::ShiftJis}, {"utf-8", CodePageChoice::Utf8},
    };
    for (const auto& [text, choice] : kNames) {
        if (EqualsIgnoringAsciiCase(name, text)) {
            return choice;
        }
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

}  // namespace quernfold
