#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quernfold {

/**
 * An INI text held line by line, so that a change touches one line and everything else (comments, other
 * sections, unknown keys, blank lines, a byte-order mark, each line's own line end) is written back as read.
 * Section and key names match without regard to ASCII case; spaces and tabs around a name or a value are not
 * part of it; lines whose first non-blank character is ";" are comments.
 */
class IniFile {
public:
    /** Splits text into lines; CR LF and LF both end a line. */
    static IniFile Parse(std::string_view text);

    /** The first value of key in the first section called section; nullopt when there is none. */
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    /**
     * Replaces the value of an existing key (keeping its spelling), or adds key=value after the last key of the
     * section, or adds the section at the end. A value is one line: it is cut at its first CR or LF.
     */
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    /** The text to write: every line with its own line end; new lines take the file's first line end. */
    std::string Text() const;

private:
    struct Line {
        std::string text;
        std::string ending;  // "\r\n", "\n" or "" (last line without a line end)
    };

    /** Index of the header line of the first matching section, or npos. */
    std::size_t FindSection(std::string_view section) const;
    /** One past the last line that belongs to the section whose header is at index header. */
    std::size_t SectionEnd(std::size_t header) const;
    void InsertLine(std::size_t index, std::string text);

    std::string m_bom;
    std::vector<Line> m_lines;
    std::string m_newLine = "\n";
};

}  // namespace quernfold
