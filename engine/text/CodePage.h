#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quernfold {

/** How a file's bytes split into characters. Page bytes are never transcoded; this only finds boundaries. */
enum class CodePage { Gbk, Gb18030, Big5, ShiftJis, Utf8, SingleByte };

/** The code page chosen for a run: Auto decides per file, any other choice holds for every file. */
enum class CodePageChoice { Auto, Gbk, Gb18030, Big5, ShiftJis, Utf8 };

/** "auto", "gbk", "gb18030", "big5", "shift_jis", "utf-8" (ASCII case ignored); nullopt for other names. */
std::optional<CodePageChoice> ParseCodePageChoice(std::string_view name);

/**
 * Length in bytes (1..4) of the character that starts at data[0], never more than size (size > 0).
 * A byte that does not start a valid character of the code page is a character of its own.
 */
std::size_t CharLength(CodePage cp, const unsigned char* data, std::size_t size);

/**
 * Finds needle at a character boundary of text, searching from the boundary `from`; returns the byte offset
 * or std::string_view::npos. The needle is ASCII. In double-byte code pages an ASCII-range trail byte is never
 * taken for the start of a match.
 */
std::size_t FindAtBoundary(CodePage cp, std::string_view text, std::string_view needle, std::size_t from = 0);

/** True when needle occurs at a character boundary of text. */
inline bool ContainsAtBoundary(CodePage cp, std::string_view text, std::string_view needle) {
    return FindAtBoundary(cp, text, needle) != std::string_view::npos;
}

/** What the detector decided for one file. */
struct DetectedCodePage {
    CodePage codePage = CodePage::Gbk;
    std::size_t bomLength = 0;  // bytes of a UTF-8 byte-order mark at the start (0 or 3)
    bool utf16 = false;         // the file starts with a UTF-16 byte-order mark: it must not be read
};

}  // namespace quernfold
