#include "engine/run/RunRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/log/LogText.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"
#include "tests/support/MemorySiteFiles.h"

namespace quernfold {
namespace {

RunRecord Sample() {
    RunRecord record;
    record.choices = std::string("1.0.0\0/w/\0jsp", 13);
    record.files = {{"/w/a b\n.jsp", {{7, 1}, 10, 20, 30}}, {"/w/inc/h.inc", {{7, 2}, 0, -1, 2}}};
    record.lookups = {{"/w/inc/H.inc", "inc/H.inc", true, "/w/", "/w/inc/h.inc"},
                      {"/w/gone.inc", "gone.inc", false, "/w/", std::nullopt}};
    // Any byte of a path survives.
    record.pages.push_back({"/w/a b\n.jsp", "/o/a b\n.html", {7, 99}, 1234, -5, {{7, 1}, 10, 20, 30}, 0, 2, 2});
    record.pages.push_back({"/w/second.jsp", "/o/second.html", {7, 98}, 0, 5, {{7, 3}, 1, 2, -3}, 4, 1, 1});
    record.uses = {0, 1, 0, 1, 1, 1};
    return record;
}

TEST(RunRecord, ReadsBackWhatItWrote) {
    const RunRecord record = Sample();
    // The parsed pages point into these bytes: they must outlive the parsed record.
    const std::string bytes = SerializeRunRecord(record);
    const std::optional<RunRecord> back = ParseRunRecord(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->choices, record.choices);
    EXPECT_EQ(back->files, record.files);
    EXPECT_EQ(back->lookups, record.lookups);
    EXPECT_EQ(back->uses, record.uses);
    ASSERT_EQ(back->pages.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const RunRecord::Page& a = record.pages[i];
        const RunRecord::Page& b = back->pages[i];
        EXPECT_EQ(b.source, a.source);
        EXPECT_EQ(b.output, a.output);
        EXPECT_EQ(b.outputId, a.outputId);
        EXPECT_EQ(b.outputSize, a.outputSize);
        EXPECT_EQ(b.outputSettledNs, a.outputSettledNs);
        EXPECT_EQ(b.sourceStamp, a.sourceStamp);
        EXPECT_EQ(b.first, a.first);
        EXPECT_EQ(b.fileCount, a.fileCount);
        EXPECT_EQ(b.lookupCount, a.lookupCount);
    }
}

TEST(RunRecord, RefusesNumbersThatNameNothing) {
    RunRecord record = Sample();
    record.uses[1] = 2;  // a file number past the two files
    EXPECT_FALSE(ParseRunRecord(SerializeRunRecord(record)));
    record = Sample();
    record.uses[5] = 2;  // a lookup number past the two lookups
    EXPECT_FALSE(ParseRunRecord(SerializeRunRecord(record)));
}

TEST(RunRecord, RefusesEveryDamagedForm) {
    const std::string good = SerializeRunRecord(Sample());
    struct Row {
        const char* name;
        std::string bytes;
    };
    const std::string tail = good.substr(good.find('\n') + 1);
    const Row rows[] = {
        {"empty", ""},
        {"another format", "quernfold run record 2\n" + tail},
        {"cut short", good.substr(0, good.size() - 3)},
        {"cut in the middle", good.substr(0, good.size() / 2)},
        {"something after the end", good + "1\n"},
        {"a length past the end", "quernfold run record 1\n99\nabc\n"},
        {"a count no record could hold", "quernfold run record 1\n0\n\n99999999999\n"},
        {"a number with a sign where none may be", "quernfold run record 1\n-1\n"},
        {"a number with trailing text", "quernfold run record 1\n3x\nabc\n"},
    };
    for (const Row& row : rows) EXPECT_FALSE(ParseRunRecord(row.bytes)) << row.name;
    // Every cut of a good record is refused, never read as a shorter record.
    for (std::size_t size = 0; size < good.size(); ++size) {
        EXPECT_FALSE(ParseRunRecord(good.substr(0, size))) << "cut at " << size;
    }
}

// A record read in pieces of any size gives what the whole bytes give, and one cut anywhere is never whole.
TEST(RunRecord, ReadsTheSameInPiecesOfAnySize) {
    RunRecord record = Sample();
    // Enough pages that the record is longer than one piece of the reader's own buffer.
    for (int i = 0; i < 2000; ++i) {
        record.pages.push_back(record.pages[i % 2]);
        record.pages.back().source = i % 2 ? "/w/second.jsp" : "/w/a b\n.jsp";
    }
    const std::string good = SerializeRunRecord(record);
    ASSERT_GT(good.size(), 128u << 10);
    const auto readInPieces = [](std::string_view bytes, std::size_t piece, bool& whole) {
        std::size_t at = 0;
        RunRecordReader reader([&](char* into, std::size_t size) -> std::ptrdiff_t {
            const std::size_t n = std::min({size, piece, bytes.size() - at});
            bytes.copy(into, n, at);
            at += n;
            return static_cast<std::ptrdiff_t>(n);
        });
        std::vector<std::string> pages;
        RunRecord head;
        whole = false;
        if (!reader.ReadHead(head)) return pages;
        RunRecord::Page page;
        std::vector<std::uint32_t> uses;
        while (reader.NextPage(page, uses)) {
            pages.push_back(std::string(page.source) + "|" + std::string(page.output) + "|" +
                            std::to_string(page.outputSize) + "|" + std::to_string(uses.size()));
        }
        whole = reader.Whole();
        return pages;
    };
    const std::optional<RunRecord> parsed = ParseRunRecord(good);
    ASSERT_TRUE(parsed);
    std::vector<std::string> expected;
    std::size_t usesSoFar = 0;
    for (const RunRecord::Page& page : parsed->pages) {
        usesSoFar += page.fileCount + page.lookupCount;
        expected.push_back(std::string(page.source) + "|" + std::string(page.output) + "|" +
                           std::to_string(page.outputSize) + "|" + std::to_string(usesSoFar));
    }
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, good.size()}) {
        bool whole = false;
        EXPECT_EQ(readInPieces(good, piece, whole), expected) << "pieces of " << piece;
        EXPECT_TRUE(whole) << "pieces of " << piece;
    }
    for (const std::size_t cut : {good.size() - 1, good.size() - 20, good.size() / 2, std::size_t{30}}) {
        bool whole = true;
        readInPieces(std::string_view(good).substr(0, cut), 1000, whole);
        EXPECT_FALSE(whole) << "cut at " << cut;
    }
    bool whole = true;
    readInPieces(good + "1\n", 1000, whole);
    EXPECT_FALSE(whole) << "something after the end";
    // A source that fails part-way is no whole record either.
    std::size_t calls = 0;
    RunRecordReader failing([&](char* into, std::size_t size) -> std::ptrdiff_t {
        if (++calls > 2) return -1;
        const std::size_t n = std::min(size, good.size());
        good.copy(into, n, (calls - 1) * n);
        return static_cast<std::ptrdiff_t>(n);
    });
    RunRecord head;
    ASSERT_TRUE(failing.ReadHead(head));
    RunRecord::Page page;
    std::vector<std::uint32_t> uses;
    while (failing.NextPage(page, uses)) {
    }
    EXPECT_FALSE(failing.Whole());
}

// The expander notes every file it opens and every include lookup, also those answered from what it remembers
// of an earlier page: a page's record must not depend on which page came first.
TEST(ReadTraceOfExpander, NotesFilesAndLookupsOfEveryPage) {
    MemorySiteFiles files;
    files.Add("/w/a.jsp", "<%@ include file=\"inc/Head.inc\" %>\n<%@ include file=\"none.inc\" %>\n");
    files.Add("/w/b.jsp", "<%@ include file=\"inc/Head.inc\" %>\n");
    files.Add("/w/inc/head.inc", "head\n");
    ExpansionContext context;
    context.siteRoot = "/w/";
    LogText log;
    PageExpander expander({"jsp", "html", CodePageChoice::Auto, '/'}, context, files, log);
    ReadTrace trace;
    expander.TraceInto(&trace);
    for (const char* page : {"/w/a.jsp", "/w/b.jsp"}) {
        trace.Start();
        StringOutput out;
        expander.ExpandSourcePage(page, out);
        std::vector<std::string> opened;
        for (const ReadTrace::Opened& file : trace.opened) opened.push_back(file.path);
        EXPECT_EQ(opened, (std::vector<std::string>{page, "/w/inc/head.inc"})) << page;
        ASSERT_FALSE(trace.lookups.empty()) << page;
        EXPECT_EQ(trace.lookups[0].resolved, "/w/inc/Head.inc");
        EXPECT_EQ(trace.lookups[0].found, std::optional<std::string>("/w/inc/head.inc"));
        EXPECT_FALSE(trace.doubtful);
    }
    // a.jsp's missing include is noted with its answer: nothing.
    trace.Start();
    StringOutput out;
    expander.ExpandSourcePage("/w/a.jsp", out);
    ASSERT_EQ(trace.lookups.size(), 2u);
    EXPECT_EQ(trace.lookups[1].resolved, "/w/none.inc");
    EXPECT_FALSE(trace.lookups[1].found);
}

}  // namespace
}  // namespace quernfold
