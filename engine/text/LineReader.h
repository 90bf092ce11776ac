#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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
    LineReader(SourceFile& file, std::string head, bool headIsWholeFile, std::size_t lineLimit = kDefaultLineLimit);

    /** Reads lines out of bytes held elsewhere (a file kept in memory), which must outlive the reader. */
    explicit LineReader(std::string_view wholeFile, std::size_t lineLimit = kDefaultLineLimit);

    /** The limit is what the includers' lines leave of total: a failure names the total they share. */
    void ShareLimit(std::size_t total) { m_sharedLimit = total; }

    /** Drops the first count bytes of the file (a byte-order mark). Call before the first Next. */
    void Skip(std::size_t count);

    /** The next line, valid until the next call; false at the end of the file. Throws FileError. */
    bool Next(std::string_view& line);

    /**
     * The bytes read and not yet returned, valid until the next call of Next: whole lines with their terminators,
     * then perhaps the start of a line not complete yet. Lets a caller take many lines in one piece.
     */
    std::string_view Buffered() const { return {m_data + m_begin, m_end - m_begin}; }
    /** Passes over the first count bytes of Buffered(), which must end just after a line's CR LF. */
    void Consume(std::size_t count) { m_begin += count; }

private:
    bool Fill();  // reads more bytes after m_end; false at the end of the file
    [[noreturn]] void ThrowTooLong() const;

    SourceFile* m_file;    // null when reading bytes held elsewhere
    std::string m_buffer;  // what was read from m_file
    const char* m_data;    // m_buffer's bytes, or the bytes held elsewhere
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    std::size_t m_lineLimit;
    std::size_t m_sharedLimit = 0;  // 0: the limit is this file's own
};

}  // namespace quernfold
