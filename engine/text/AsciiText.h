#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quernfold {

// Keywords, attribute names, types and file names compare in ASCII only: the locale must never change what a
// page means, and bytes above 0x7F (GBK, UTF-8) are never folded.

constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

/** Space, tab, CR, LF, form feed and vertical tab. */
constexpr bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

/** text with ASCII letters lower-cased, a key under which names equal ignoring ASCII case meet. */
std::string FoldAsciiCase(std::string_view text);

/** Whether text holds prefix at offset at, ASCII case ignored. */
bool StartsWithIgnoringAsciiCase(std::string_view text, std::size_t at, std::string_view prefix);

/** The first offset at or after from where needle stands, ASCII case ignored; npos when there is none. */
std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view needle, std::size_t from = 0);

/** text without leading and trailing ' ' (the typed choices and include directives trim spaces only). */
std::string_view TrimSpaces(std::string_view text);

/** text without leading and trailing ASCII white space (IsAsciiSpace). */
std::string_view TrimAsciiSpace(std::string_view text);

/** The first offset at or after i that is not ASCII white space, or text.size(). */
std::size_t SkipAsciiSpace(std::string_view text, std::size_t i);

/**
 * The first byte at or after pos (and before end) that is not ASCII, or end. Runs of ASCII are skipped a word at
 * a time: pages are mostly ASCII, and every code page here keeps ASCII bytes whole characters.
 */
inline std::size_t SkipAsciiBytes(const unsigned char* data, std::size_t pos, std::size_t end) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
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

}  // namespace quernfold
