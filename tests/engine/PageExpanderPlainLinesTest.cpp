// The expander copies runs of plain lines in one piece; these cases sit on the edges of what counts as plain. Each
// also runs behind 300 KB of plain lines, read in pieces of every small size, so that it lies past the first read
// and a run can end anywhere in the buffer: in a line, between CR and LF, right after a marker's first byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "engine/text/Errors.h"
#include "engine/log/LogText.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"

namespace quernfold {
namespace {

// Serves files from memory in reads of at most `chunk` bytes.
class ChunkedSiteFiles : public SiteFiles {
public:
    explicit ChunkedSiteFiles(std::size_t chunk) : m_chunk(chunk) {}
    void Add(const std::string& path, std::string bytes) { m_files[path] = std::move(bytes); }

    std::unique_ptr<SourceFile> Open(const std::string& path) override {
        const auto found = m_files.find(path);
        if (found == m_files.end()) throw FileError(SystemReason(ENOENT));
        return std::make_unique<Chunked>(found->second, m_chunk);
    }
    EntryKind Kind(const std::string& path) override {
        return m_files.count(path) ? EntryKind::File : EntryKind::Missing;
    }
    std::vector<std::string> ListNames(const std::string&) override { return {}; }

private:
    class Chunked : public SourceFile {
    public:
        Chunked(const std::string& bytes, std::size_t chunk) : m_bytes(bytes), m_chunk(chunk) {}
        std::size_t Read(char* buffer, std::size_t size) override {
            const std::size_t count = std::min({size, m_chunk, m_bytes.size() - m_offset});
            if (count > 0) std::memcpy(buffer, m_bytes.data() + m_offset, count);
            m_offset += count;
            return count;
        }
        void Rewind() override { m_offset = 0; }

    private:
        const std::string& m_bytes;
        std::size_t m_chunk;
        std::size_t m_offset = 0;
    };

    std::size_t m_chunk;
    std::map<std::string, std::string> m_files;
};

struct PlainCase {
    const char* name;
    std::string sourceType;
    std::string page;
    std::string expected;
    bool anyCaseLinks = false;
};

class PageExpanderPlainLines : public ::testing::TestWithParam<PlainCase> {};

TEST_P(PageExpanderPlainLines, ComeOutAsTheLineByLineRulesSay) {
    const PlainCase& c = GetParam();
    std::string padding;
    while (padding.size() < 300 * 1024) padding += "plain text of a page, long enough to fill the first reads\r\n";
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{1} << 20}) {
        const bool padded = chunk != std::size_t{1} << 20;
        ChunkedSiteFiles files(chunk);
        files.Add("/w/p", padded ? padding + c.page : c.page);
        files.Add("/w/a.inc", "A\r\n");
        ExpansionContext state;
        state.siteRoot = "/w/";
        LogText log;
        ExpanderSettings settings{c.sourceType, c.sourceType == "asp" ? "htm" : "html", CodePageChoice::Auto, '/'};
        settings.anyCaseLinks = c.anyCaseLinks;
        PageExpander expander(settings, state, files, log);
        StringOutput out;
        EXPECT_FALSE(expander.ExpandSourcePage("/w/p", out)) << "chunk " << chunk;
        EXPECT_EQ(out.Text(), padded ? padding + c.expected : c.expected) << "chunk " << chunk;
        EXPECT_EQ(log.Text(), "") << "chunk " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PageExpanderPlainLines,
    ::testing::Values(PlainCase{"CrLfLinesComeOutAsTheyWent", "jsp", "a\r\nb\r\n\r\nc\r\n", "a\r\nb\r\n\r\nc\r\n"},
                      PlainCase{"LoneCrInsideARunEndsALine", "jsp", "a\r\nb\rc\r\nd\r\n", "a\r\nb\r\nc\r\nd\r\n"},
                      PlainCase{"LoneLfInsideARunEndsALine", "jsp", "a\r\nb\nc\r\n\nd\r\n", "a\r\nb\r\nc\r\n\r\nd\r\n"},
                      PlainCase{"CrAtTheEndOfTheFile", "jsp", "a\r\nb\r", "a\r\nb\r\n"},
                      PlainCase{"LastLineWithoutAnEnd", "jsp", "a\r\nb", "a\r\nb\r\n"},
                      PlainCase{"RewriteInTheMiddleOfARun", "jsp", "a\r\nsee b.jsp?x\r\nc\r\n",
                                "a\r\nsee b.html?x\r\nc\r\n"},
                      PlainCase{"TrailByteBeforeTheExtension", "jsp", "\x81.jsp\r\n", "\x81.html\r\n"},
                      PlainCase{"StrayEndMarkerAndPercent", "jsp", "50% off\r\n5%>3\r\n", "50% off\r\n5%>3\r\n"},
                      PlainCase{"BlockBetweenRuns", "jsp", "a\r\nb<% x %>c\r\nd\r\n", "a\r\nb\r\nc\r\nd\r\n"},
                      PlainCase{"PlainLinesInsideABlockJoinIt", "asp", "<% a\r\nplain\r\n\r\n%>b\r\nc\r\n",
                                "\r\n<% a\r\nplain\r\n%>\r\nb\r\nc\r\n"},
                      // No "%" and no ".asp" on the line: only the comment makes it a directive.
                      PlainCase{"AspIncludeInACommentWithoutExtension", "asp",
                                "x\r\n<!--#include file=\"a.inc\"-->\r\ny\r\n", "x\r\n\r\nA\r\ny\r\n"},
                      PlainCase{"AspCommentWithoutIncludeIsText", "asp", "x\r\n<!-- note -->\r\ny\r\n",
                                "x\r\n<!-- note -->\r\ny\r\n"},
                      // A run must end before a line whose only rewrite is an extension in another letter case.
                      PlainCase{"CaseVariantInTheMiddleOfARun", "asp", "a\r\nsee B.Asp?x\r\nc\r\n",
                                "a\r\nsee B.htm?x\r\nc\r\n", true},
                      PlainCase{"CaseVariantLeftWhenNotAsked", "asp", "a\r\nsee B.Asp?x\r\n",
                                "a\r\nsee B.Asp?x\r\n"},
                      PlainCase{"JspCommentIsText", "jsp", "<!--#include file=\"a.inc\"-->\r\n",
                                "<!--#include file=\"a.inc\"-->\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageExpanderPlainLinesLimit, ALineOverTheLimitIsNotCopiedWithItsRun) {
    ChunkedSiteFiles files(std::size_t{1} << 20);
    files.Add("/w/p", "short\r\n" + std::string(40, 'x') + "\r\nnever\r\n");
    ExpansionContext state;
    state.siteRoot = "/w/";
    LogText log;
    ExpanderSettings settings{"jsp", "html", CodePageChoice::Auto, '/'};
    settings.lineLimit = 20;
    PageExpander expander(settings, state, files, log);
    StringOutput out;
    EXPECT_TRUE(expander.ExpandSourcePage("/w/p", out));
    EXPECT_EQ(out.Text(), "short\r\n");
}

}  // namespace
}  // namespace quernfold
