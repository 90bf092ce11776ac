#include "engine/text/LineReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/text/Errors.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {
namespace {

// Serves its text in reads of at most `chunk` bytes, so terminators fall on every possible edge.
class ChunkedFile : public SourceFile {
public:
    ChunkedFile(std::string text, std::size_t chunk) : m_text(std::move(text)), m_chunk(chunk) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min({size, m_chunk, m_text.size() - m_offset});
        std::memcpy(buffer, m_text.data() + m_offset, count);
        m_offset += count;
        return count;
    }
    void Rewind() override { m_offset = 0; }

private:
    std::string m_text;
    std::size_t m_chunk;
    std::size_t m_offset = 0;
};

std::vector<std::string> ReadAll(LineReader& reader) {
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.Next(line)) lines.emplace_back(line);
    return lines;
}

TEST(LineReaderTest, EveryTerminatorEndsALineWhateverTheReadSizes) {
    const std::string text = "a\r\nb\rc\nd\r\r\ne\n\rf";
    const std::vector<std::string> expected{"a", "b", "c", "d", "", "e", "", "f"};
    for (std::size_t chunk : {1, 2, 3, 5, 64}) {
        ChunkedFile file(text, chunk);
        LineReader reader(file, {}, false);
        EXPECT_EQ(ReadAll(reader), expected) << "chunk " << chunk;
    }
}

TEST(LineReaderTest, CrAtTheEndOfTheFileEndsTheLastLine) {
    ChunkedFile file("x\r", 1);
    LineReader reader(file, {}, false);
    EXPECT_EQ(ReadAll(reader), std::vector<std::string>{"x"});
}

TEST(LineReaderTest, EmptyFileHasNoLinesAndALastLineNeedsNoTerminator) {
    ChunkedFile empty("", 8);
    LineReader none(empty, {}, false);
    EXPECT_TRUE(ReadAll(none).empty());
    ChunkedFile last("a\r\nlast", 8);
    LineReader reader(last, {}, false);
    EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{"a", "last"}));
}

TEST(LineReaderTest, HeadIsServedBeforeTheRestOfTheFile) {
    ChunkedFile rest("c\r\nd", 2);
    LineReader reader(rest, "a\r\nb", false);
    EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{"a", "bc", "d"}));
    ChunkedFile unread("never", 2);
    LineReader whole(unread, "only\r\n", true);
    EXPECT_EQ(ReadAll(whole), std::vector<std::string>{"only"});
}

TEST(LineReaderTest, SkipDropsAByteOrderMark) {
    ChunkedFile file("\xEF\xBB\xBFx\r\ny", 1);
    LineReader reader(file, {}, false);
    reader.Skip(3);
    EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{"x", "y"}));
}

TEST(LineReaderTest, LineOverTheLimitFailsTheRead) {
    ChunkedFile file("short\r\n" + std::string(100, 'x') + "\r\n", 7);
    LineReader reader(file, {}, false, 50);
    std::string_view line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "short");
    EXPECT_THROW(reader.Next(line), FileError);
}

TEST(LineReaderTest, LongLinesSpanManyBuffers) {
    const std::string longLine(3 * 1024 * 1024 + 17, 'y');
    ChunkedFile file(longLine + "\r" + longLine, 100000);
    LineReader reader(file, {}, false);
    const auto lines = ReadAll(reader);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], longLine);
    EXPECT_EQ(lines[1], longLine);
}

}  // namespace
}  // namespace quernfold
