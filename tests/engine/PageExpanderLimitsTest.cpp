#include <gtest/gtest.h>

#include <string>

#include "engine/LogText.h"
#include "engine/MemorySiteFiles.h"
#include "engine/OutputSink.h"
#include "engine/PageExpander.h"

namespace quernfold {
namespace {

// Serves at most `step` bytes per read, as a pipe or a network file system may.
class TrickleSiteFiles : public SiteFiles {
public:
    TrickleSiteFiles(MemorySiteFiles& inner, std::size_t step) : m_inner(inner), m_step(step) {}

    std::unique_ptr<SourceFile> Open(const std::string& path) override {
        class Trickle : public SourceFile {
        public:
            Trickle(std::unique_ptr<SourceFile> inner, std::size_t step) : m_inner(std::move(inner)), m_step(step) {}
            std::size_t Read(char* buffer, std::size_t size) override {
                return m_inner->Read(buffer, std::min(size, m_step));
            }
            void Rewind() override { m_inner->Rewind(); }

        private:
            std::unique_ptr<SourceFile> m_inner;
            std::size_t m_step;
        };
        return std::make_unique<Trickle>(m_inner.Open(path), m_step);
    }
    EntryKind Kind(const std::string& path) override { return m_inner.Kind(path); }
    std::vector<std::string> ListNames(const std::string& folder) override { return m_inner.ListNames(folder); }

private:
    MemorySiteFiles& m_inner;
    std::size_t m_step;
};

struct Expansion {
    std::string output;
    std::optional<std::string> failure;
};

Expansion Expand(SiteFiles& files, const std::string& page, std::size_t lineLimit) {
    RunState state;
    state.siteRoot = "/w/";
    LogText log;
    ExpanderSettings settings{"jsp", "html", CodePageChoice::Auto, '/'};
    settings.lineLimit = lineLimit;
    PageExpander expander(settings, state, files, log);
    StringOutput out;
    Expansion result;
    result.failure = expander.ExpandSourcePage(page, out);
    return result.output = out.Text(), result;
}

TEST(PageExpanderReads, ShortReadsAreNotTheEndOfTheFile) {
    MemorySiteFiles memory;
    // UTF-8 text makes the detection pass read the whole file before the lines are read again.
    memory.Add("/w/p.jsp", "a\r\nb\r\r\n\xE4\xB8\xAD<%@ include file=\"i.inc\" %>c\rd");
    memory.Add("/w/i.inc", "\xEF\xBB\xBFinc\r\n");
    const std::string expected = "a\r\nb\r\n\r\n\xE4\xB8\xAD\r\ninc\r\nc\r\nd\r\n";
    for (const std::size_t step : {1, 2, 3, 5, 7, 4096}) {
        TrickleSiteFiles files(memory, step);
        const Expansion result = Expand(files, "/w/p.jsp", LineReader::kDefaultLineLimit);
        EXPECT_EQ(result.output, expected) << "reads of " << step;
        EXPECT_FALSE(result.failure) << "reads of " << step;
    }
}

TEST(PageExpanderReads, PagesOfEverySizeAroundTheReadChunksComeOutWhole) {
    // The head is read in growing pieces (16 KiB, then up to 256 KiB); a page must not lose or repeat a byte at
    // any of the edges, whether its code page is decided by the head alone or by the whole file (UTF-8).
    for (const std::size_t size : {16383, 16384, 16385, 65537, 262143, 262144, 262145, 300001}) {
        for (const bool utf8 : {false, true}) {
            std::string page;
            for (int line = 0; page.size() < size; ++line) {
                page += (utf8 ? "\xE4\xB8\xAD" : "") + std::to_string(line) + "\r\n";
            }
            page.resize(size);
            if (page.back() == '\r') page.back() = 'x';  // a CR would gain an LF in the output
            std::string expected = page;
            if (expected.size() < 2 || expected.compare(expected.size() - 2, 2, "\r\n") != 0) expected += "\r\n";
            MemorySiteFiles memory;
            memory.Add("/w/p.jsp", page);
            for (const std::size_t step : {7, 100000}) {
                TrickleSiteFiles files(memory, step);
                const Expansion result = Expand(files, "/w/p.jsp", LineReader::kDefaultLineLimit);
                EXPECT_TRUE(result.output == expected) << size << (utf8 ? " UTF-8" : "") << ", reads of " << step;
            }
        }
    }
}

TEST(PageExpanderLimits, LinesAndOpenBlocksUpToTheLimitWorkAndLongerOnesFailThePage) {
    constexpr std::size_t kLimit = 64;
    const std::string full(kLimit, 'x');
    struct Row {
        const char* name;
        std::string page;
        std::string output;  // what was written before the failure stays
        bool fails;
    };
    const Row rows[] = {
        {"LineAtTheLimit", "a\r\n" + full + "\r\nb", "a\r\n" + full + "\r\nb\r\n", false},
        {"LineOverTheLimit", "a\r\n" + full + "y\r\nb", "a\r\n", true},
        {"LastLineOverTheLimit", "a\r\n" + full + "y", "a\r\n", true},
        // The block holds 60 bytes, then CR LF and the next line's bytes.
        {"BlockOverLinesAtTheLimit", "a<%" + std::string(60, 'x') + "\r\nxx\r\n%>b", "a\r\nb\r\n", false},
        {"BlockOverLinesOverTheLimit", "a<%" + std::string(60, 'x') + "\r\nxxx\r\n%>b", "a\r\n", true},
        {"OpenBlockGrowingToTheEnd", "<%\r\n" + std::string(40, 'x') + "\r\n" + std::string(40, 'x'), "\r\n", true},
    };
    for (const Row& row : rows) {
        MemorySiteFiles files;
        files.Add("/w/p.jsp", row.page);
        const Expansion result = Expand(files, "/w/p.jsp", kLimit);
        EXPECT_EQ(result.output, row.output) << row.name;
        ASSERT_EQ(result.failure.has_value(), row.fails) << row.name;
        if (row.fails) {
            // The reason states the limit in force, not the default one.
            EXPECT_TRUE(result.failure->ends_with(" is longer than the limit of 64 bytes")) << *result.failure;
        }
    }
}

}  // namespace
}  // namespace quernfold
