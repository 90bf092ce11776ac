#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quernfold {

class SourceFile;

/**
 * Reads a file line by line. A line ends at CR, LF or CR LF; the terminator is not part of it, and a last line
 * without one is still a line. Only the current line is held, so memory grows with the longest line, never with
 * the file; a line longer than the limit fails the read.
 */
class LineReader {
public:
    static constexpr std::size_t kDefaultLineLimit = std::size_t{256} << 20;  // 256 MiB

    /**
     * head: bytes already read from the start of the file (the detection pass), served first; the file goes on
     * from where it stands, unless headIsWholeFile.
     */
    LineReader(SourceFile& file, std::string head, bool headIsWholeFile,
               std::size_t lineLimit = kDefaultLineLimit);

    /** Drops the first count bytes of the file (a byte-order mark). Call before the first Next. */
    void Skip(std::size_t count);

    /** The next line, valid until the next call; false at the end of the file. Throws FileError. */
    bool Next(std::string_view& line);

private:
    bool Fill();  // reads more bytes after m_end; false at the end of the file

    SourceFile& m_file;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    std::size_t m_lineLimit;
};

}  // namespace quernfold
