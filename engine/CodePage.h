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
 * A declared charset name (pageEncoding, meta charset, ...), ASCII case ignored: gb2312/gbk/cp936 -> Gbk,
 * gb18030, big5, shift_jis/sjis/ms932 -> ShiftJis, utf-8/utf8 -> Utf8, known single-byte charsets
 * (iso-8859-*, windows-125x, us-ascii, latin1) -> SingleByte. nullopt for names it does not know.
 */
std::optional<CodePage> CodePageFromCharsetName(std::string_view name);

/** An ASP CodePage number: 936 -> Gbk, 54936 -> Gb18030, 950 -> Big5, 932 -> ShiftJis, 65001 -> Utf8,
 *  125x and 28591..28599 -> SingleByte; nullopt otherwise. */
std::optional<CodePage> CodePageFromNumber(long number);

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

/**
 * Decides a file's code page from its bytes, fed in chunks (the whole file under Auto, since a file is UTF-8
 * only when all of it is valid UTF-8). Fixed rules, no statistics:
 * a byte-order mark decides; else UTF-8 when the whole file is valid UTF-8 and holds non-ASCII bytes; else the
 * first charset the file declares in its first 4 KB; else GBK. Under a fixed choice the choice holds, but the
 * UTF-8 mark is still measured and a UTF-16 mark still refuses the file.
 */
class CodePageDetector {
public:
    explicit CodePageDetector(CodePageChoice choice);

    /** Whether Feed needs more than the first 4 KB to decide (only Auto does). */
    bool NeedsWholeFile() const;
    void Feed(std::string_view chunk);
    DetectedCodePage Finish() const;

private:
    CodePageChoice m_choice;
    std::string m_head;  // first 4 KB
    bool m_validUtf8 = true;
    bool m_sawNonAscii = false;
    int m_pendingContinuation = 0;  // continuation bytes still expected by an open UTF-8 sequence
    unsigned char m_pendingLead = 0;
    int m_pendingIndex = 0;
};

/** Converts text in the code page to UTF-8 (for include targets used as file names); nullopt when invalid. */
std::optional<std::string> ToUtf8(CodePage cp, std::string_view text);

/** Converts UTF-8 text to the code page (for the type texts searched in pages); nullopt when not representable. */
std::optional<std::string> FromUtf8(CodePage cp, std::string_view utf8);

}  // namespace quernfold
