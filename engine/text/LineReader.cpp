#include "engine/text/LineReader.h"

#include <algorithm>
#include <cstring>

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

namespace {

constexpr std::size_t kReadChunk = 256 * 1024;

// The first CR or LF in [from, to), or `to`.
const char* FindLineEnd(const char* from, const char* to) {
    if (from == to) return to;  // an empty buffer may have no storage at all, and memchr must not see null
    const auto size = static_cast<std::size_t>(to - from);
    const void* lf = std::memchr(from, '\n', size);
    const char* limit = lf ? static_cast<const char*>(lf) : to;
    const void* cr = std::memchr(from, '\r', static_cast<std::size_t>(limit - from));
    return cr ? static_cast<const char*>(cr) : limit;
}

}  // namespace

LineReader::LineReader(SourceFile& file, std::string head, bool headIsWholeFile, std::size_t lineLimit)
    : m_file(&file),
      m_buffer(std::move(head)),
      m_data(m_buffer.data()),
      m_end(m_buffer.size()),
      m_eof(headIsWholeFile),
      m_lineLimit(lineLimit) {}

LineReader::LineReader(std::string_view wholeFile, std::size_t lineLimit)
    : m_file(nullptr), m_data(wholeFile.data()), m_end(wholeFile.size()), m_eof(true), m_lineLimit(lineLimit) {}

void LineReader::Skip(std::size_t count) {
    while (m_end - m_begin < count && Fill()) {
    }
    m_begin += std::min(count, m_end - m_begin);
}

bool LineReader::Fill() {
    if (m_eof) return false;
    if (m_begin > 0) {
        // Keep only the unfinished line at the front.
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_buffer.size() - m_end < kReadChunk) m_buffer.resize(std::max(m_buffer.size() * 2, m_end + kReadChunk));
    m_data = m_buffer.data();
    const std::size_t got = m_file->Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
    if (got == 0) {
        m_eof = true;
        return false;
    }
    m_end += got;
    return true;
}

void LineReader::ThrowTooLong() const {
    throw FileError(m_sharedLimit > 0 ? HeldLinesTooLongReason(m_sharedLimit) : LineTooLongReason(m_lineLimit));
}

bool LineReader::Next(std::string_view& line) {
    std::size_t scanned = m_begin;  // bytes before this offset hold no terminator
    for (;;) {
        const char* base = m_data;
        const char* end = FindLineEnd(base + scanned, base + m_end);
        if (end != base + m_end) {
            const std::size_t at = static_cast<std::size_t>(end - base);
            if (*end == '\r' && at + 1 == m_end && !m_eof) {
                // A CR at the edge of the buffer may be the first half of CR LF.
                const std::size_t lineStart = m_begin;
                if (!Fill()) {
                    line = std::string_view(m_data + m_begin, at - lineStart);
                    m_begin = m_end;
                    return true;
                }
                scanned = at - lineStart + m_begin;
                continue;
            }
            line = std::string_view(base + m_begin, at - m_begin);
            m_begin = at + 1;
            if (*end == '\r' && m_begin < m_end && base[m_begin] == '\n') ++m_begin;
            if (line.size() > m_lineLimit) ThrowTooLong();
            return true;
        }
        if (m_end - m_begin > m_lineLimit) ThrowTooLong();
        const std::size_t pendingBytes = m_end - m_begin;
        if (!Fill()) {
            if (m_begin == m_end) return false;
            line = std::string_view(m_data + m_begin, m_end - m_begin);
            m_begin = m_end;
            return true;
        }
        scanned = m_begin + pendingBytes;
    }
}

}  // namespace quernfold
