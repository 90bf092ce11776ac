#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/site/CachedSiteFiles.h"
#include "engine/log/LogLines.h"
#include "engine/log/LogText.h"
#include "tests/support/MemorySiteFiles.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"

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
    ExpansionContext state;
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

namespace quernfold {
namespace {

// Work that grows with the number of directives is bounded: counted through the site's seam, never timed.
TEST(PageExpanderBoundedWork, RepeatedFailuresListingsAndLongLinesCostOnce) {
    constexpr std::size_t kLimit = 64 << 10;
    const std::string directive = "<%@ include file=\"";
    struct Row {
        const char* name;
        std::function<void(MemorySiteFiles&)> site;
        std::vector<std::string> pages;
        int warnings;
        std::function<void(const MemorySiteFiles&, const std::string& output, const std::string& log)> check;
    };
    const auto includes = [&](const std::string& target, int count) {
        std::string page;
        for (int i = 0; i < count; ++i) page += "line " + std::to_string(i) + directive + target + "\" %>\r\n";
        return page;
    };
    const Row rows[] = {
        {"AHugeOneLineIncludeNamedManyTimesIsReadOnce",
         [&](MemorySiteFiles& site) {
             site.Add("/w/huge.inc", std::string(kLimit * 8, '\0'));
             site.Add("/w/p.jsp", includes("huge.inc", 10));
         },
         {"/w/p.jsp"}, 10,
         [&](const MemorySiteFiles& site, const std::string&, const std::string&) {
             EXPECT_EQ(site.OpenCount("/w/huge.inc"), 1);
             EXPECT_LT(site.BytesRead(), 2 * kLimit * 8);
         }},
        {"MiscasedIncludesInABigFolderListItOnce",
         [&](MemorySiteFiles& site) {
             for (int i = 0; i < 3000; ++i) site.Add("/w/inc/f" + std::to_string(i) + ".inc", "x");
             site.Add("/w/inc/Head.inc", "head");
             site.Add("/w/p1.jsp", includes("inc/HEAD.inc", 50) + includes("inc/head.INC", 50));
             site.Add("/w/p2.jsp", includes("inc/F1.INC", 50) + includes("inc/nothing.inc", 5));
         },
         {"/w/p1.jsp", "/w/p2.jsp"}, 5,
         [&](const MemorySiteFiles& site, const std::string& output, const std::string&) {
             EXPECT_EQ(site.ListCount("/w/inc"), 1);
             EXPECT_NE(output.find("head\r\n"), std::string::npos);
         }},
        {"ALongLineThatIncludesItsOwnPageHoldsItOnce",
         [&](MemorySiteFiles& site) {
             site.Add("/w/p.jsp", std::string(kLimit - 100, 'x') + directive + "p.jsp\" %>\r\nend\r\n");
         },
         {"/w/p.jsp"}, 1,
         [&](const MemorySiteFiles& site, const std::string& output, const std::string& log) {
             // The nested copy fails at once instead of holding the long line again on every level.
             EXPECT_LE(site.OpenCount("/w/p.jsp"), 2);
             EXPECT_LT(output.size(), 2 * kLimit);
             EXPECT_NE(log.find(HeldLinesTooLongReason(kLimit)), std::string::npos) << log;
         }},
    };
    for (const Row& row : rows) {
        MemorySiteFiles memory;
        row.site(memory);
        CachedSiteFiles files(memory);
        ExpansionContext state;
        state.siteRoot = "/w/";
        LogText log;
        ExpanderSettings settings{"jsp", "html", CodePageChoice::Auto, '/'};
        settings.lineLimit = kLimit;
        PageExpander expander(settings, state, files, log);
        std::string output;
        for (const std::string& page : row.pages) {
            StringOutput out;
            EXPECT_FALSE(expander.ExpandSourcePage(page, out)) << row.name;
            output += out.Text();
        }
        EXPECT_EQ(state.warningCount, row.warnings) << row.name << "\n" << log.Text();
        // Every directive that names a failed include still writes its own pair of lines.
        std::size_t pairs = 0;
        for (std::size_t at = log.Text().find("时异常："); at != std::string::npos; at = log.Text().find("时异常：", at + 1)) {
            ++pairs;
        }
        EXPECT_EQ(pairs, static_cast<std::size_t>(row.warnings)) << row.name;
        SCOPED_TRACE(row.name);
        row.check(memory, output, log.Text());
    }
}

}  // namespace
}  // namespace quernfold
