#include "engine/site/CachedSiteFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>

#include "engine/platform/posix/DiskSiteFiles.h"
#include "engine/text/Errors.h"
#include "engine/log/LogText.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

// Counts what reaches the disk through the cache.
class CountingSiteFiles : public SiteFiles {
public:
    explicit CountingSiteFiles(SiteFiles& inner) : m_inner(inner) {}
    std::unique_ptr<SourceFile> Open(const std::string& path) override {
        ++opens[path];
        return m_inner.Open(path);
    }
    EntryKind Kind(const std::string& path) override { return m_inner.Kind(path); }
    std::vector<std::string> ListNames(const std::string& folder) override {
        ++listings[folder];
        return m_inner.ListNames(folder);
    }
    std::map<std::string, int> opens;
    std::map<std::string, int> listings;

private:
    SiteFiles& m_inner;
};

// Puts a file's modification time far back, so any later change moves it.
void SetOld(const std::string& path) {
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
}

// Small reads by default, so a kept file's read offset is exercised.
std::string ReadAll(SourceFile& file, std::size_t chunk = 7) {
    std::string text;
    std::string buffer(chunk, '\0');
    while (const std::size_t got = file.Read(buffer.data(), chunk)) text.append(buffer, 0, got);
    return text;
}

class CachedSiteFilesTest : public ::testing::Test {
protected:

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = root + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        SetOld(path);
        return path;
    }
    std::string OpenAndRead(CachedSiteFiles& cache, const std::string& path, std::size_t chunk = 7) {
        const std::unique_ptr<SourceFile> file = cache.Open(path);
        return ReadAll(*file, chunk);
    }

    test_support::Sandbox sandbox;
    std::string root = sandbox.Root().string() + "/";
    DiskSiteFiles disk{"/"};
    CountingSiteFiles counting{disk};
};

TEST_F(CachedSiteFilesTest, KeepsAFileFromItsSecondOpenOn) {
    const std::string path = Write("inc/head.inc", "head\r\nline two\r\n");
    CachedSiteFiles cache(counting);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(OpenAndRead(cache, path), "head\r\nline two\r\n") << "open " << i;
    EXPECT_EQ(counting.opens[path], 2);
    EXPECT_EQ(cache.CachedFiles(), 1u);

    // The run records what it read by identity, so a kept copy must name the file on disk.
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const std::unique_ptr<SourceFile> kept = cache.Open(path);
    EXPECT_EQ(kept->Id(), (FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino}));
    EXPECT_NE(kept->HeldBytes(), nullptr);
}

// A run sees every file as it first read it; the next run (a new cache) sees the change.
TEST_F(CachedSiteFilesTest, ARunSeesTheSiteAsItFirstReadIt) {
    struct Change {
        const char* name;
        std::function<void(const std::string& path)> apply;
        std::string after;  // what the next run reads
    };
    const Change changes[] = {
        {"Rewritten", [](const std::string& path) { std::ofstream(path, std::ios::binary) << "after!\r\n"; },
         "after!\r\n"},
        {"Appended", [](const std::string& path) { std::ofstream(path, std::ios::binary | std::ios::app) << "more"; },
         "before\r\nmore"},
        {"Removed", [](const std::string& path) { std::filesystem::remove(path); }, ""},
    };
    for (const Change& change : changes) {
        const std::string path = Write(std::string("inc/") + change.name + ".inc", "before\r\n");
        CountingSiteFiles fresh{disk};
        CachedSiteFiles cache(fresh);
        EXPECT_EQ(cache.Kind(path), EntryKind::File);
        OpenAndRead(cache, path);
        OpenAndRead(cache, path);
        change.apply(path);
        EXPECT_EQ(cache.Kind(path), EntryKind::File) << change.name;
        EXPECT_EQ(OpenAndRead(cache, path), "before\r\n") << change.name;
        EXPECT_EQ(fresh.opens[path], 2) << change.name;

        CachedSiteFiles nextRun(fresh);
        EXPECT_EQ(nextRun.Kind(path), change.after.empty() ? EntryKind::Missing : EntryKind::File) << change.name;
        if (!change.after.empty()) {
            EXPECT_EQ(OpenAndRead(nextRun, path), change.after) << change.name;
        }
    }
}

// The inner files' stamp before and after the read decides; the cache never asks the disk itself.
TEST_F(CachedSiteFilesTest, KeepsNothingThatChangedWhileItWasRead) {
    class Shifting : public SiteFiles {
    public:
        std::unique_ptr<SourceFile> Open(const std::string& path) override {
            class File : public SourceFile {
            public:
                explicit File(int& stamps) : m_stamps(stamps) {}
                std::size_t Read(char* buffer, std::size_t size) override {
                    const std::size_t count = std::min(size, m_text.size() - m_offset);
                    m_text.copy(buffer, count, m_offset);
                    m_offset += count;
                    return count;
                }
                void Rewind() override { m_offset = 0; }
                std::optional<FileStamp> Stamp() const override {
                    return FileStamp{{}, m_text.size(), ++m_stamps, 0};  // a new time at every look
                }

            private:
                std::string m_text = "moving\r\n";
                std::size_t m_offset = 0;
                int& m_stamps;
            };
            ++opens[path];
            return std::make_unique<File>(m_stamps);
        }
        EntryKind Kind(const std::string&) override { return EntryKind::File; }
        std::vector<std::string> ListNames(const std::string&) override { return {}; }
        std::map<std::string, int> opens;

    private:
        int m_stamps = 0;
    } shifting;
    CachedSiteFiles cache(shifting);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(OpenAndRead(cache, "/m.inc"), "moving\r\n");
    EXPECT_EQ(shifting.opens["/m.inc"], 4);
    EXPECT_EQ(cache.CachedFiles(), 0u);
}

TEST_F(CachedSiteFilesTest, StaysWithinItsCapacityDroppingTheLeastRecentlyOpened) {
    const std::string a = Write("a.inc", std::string(1000, 'a'));
    const std::string b = Write("b.inc", std::string(1000, 'b'));
    const std::string c = Write("c.inc", std::string(1000, 'c'));
    CachedSiteFiles cache(counting, 2500);  // room for two of them
    for (const std::string* path : {&a, &a, &b, &b, &a, &c, &c}) {
        OpenAndRead(cache, *path);
        EXPECT_LE(cache.CachedBytes(), 2500u);
    }
    EXPECT_EQ(cache.CachedFiles(), 2u);
    OpenAndRead(cache, a);  // kept: opened after b
    EXPECT_EQ(counting.opens[a], 2);
    OpenAndRead(cache, b);  // dropped for c
    EXPECT_EQ(counting.opens[b], 3);
}

TEST_F(CachedSiteFilesTest, NeverKeepsAFileLargerThanTheLimit) {
    const std::string big(CachedSiteFiles::kLargestFile + 1, 'z');
    const std::string path = Write("big.inc", big);
    CachedSiteFiles cache(counting);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(OpenAndRead(cache, path, 1 << 16), big);
    EXPECT_EQ(counting.opens[path], 3);
    EXPECT_EQ(cache.CachedBytes(), 0u);
}

TEST_F(CachedSiteFilesTest, FailuresToOpenAreTheDisksOwn) {
    Write("inc/x.inc", "x");
    CachedSiteFiles cache(counting);
    for (const std::string& path : {root + "missing.inc", root + "inc"}) {
        std::string direct, cached;
        for (int i = 0; i < 2; ++i) {
            try {
                disk.Open(path);
            } catch (const FileError& failure) {
                direct = failure.what();
            }
            try {
                cache.Open(path);
            } catch (const FileError& failure) {
                cached = failure.what();
            }
            EXPECT_FALSE(direct.empty()) << path;
            EXPECT_EQ(cached, direct) << path;
        }
        EXPECT_EQ(counting.opens[path], 1) << path << ": a failure is remembered for the run";
    }
}

TEST_F(CachedSiteFilesTest, ListsAFolderOncePerRun) {
    Write("inc/Head.inc", "h");
    Write("inc/a.inc", "a");
    Write("inc/A.INC", "A");
    CachedSiteFiles cache(counting);
    const std::string folder = root + "inc";
    struct Row {
        const char* name;
        std::optional<std::string> found;
    };
    const Row rows[] = {{"head.inc", "Head.inc"}, {"HEAD.INC", "Head.inc"}, {"a.INC", std::nullopt},
                        {"foot.inc", std::nullopt}, {"Head.inc", "Head.inc"}};
    for (int round = 0; round < 2; ++round) {
        for (const Row& row : rows) EXPECT_EQ(cache.FindIgnoringCase(folder, row.name), row.found) << row.name;
        EXPECT_EQ(cache.FindIgnoringCase(folder, "Foot.inc"), std::nullopt);
        std::ofstream(root + "inc/foot.inc") << "f";  // too late for this run
    }
    EXPECT_EQ(cache.ListNames(folder).size(), 3u);
    EXPECT_EQ(counting.listings[folder], 1);
    CachedSiteFiles nextRun(counting);
    EXPECT_EQ(nextRun.FindIgnoringCase(folder, "FOOT.inc"), "foot.inc");
}

// The expander reads kept files in place and decides their code page once; what it writes must not change.
TEST_F(CachedSiteFilesTest, PagesExpandAsFromTheDisk) {
    Write("inc/head.jspf", "<p>\xB1\xEA\xCC\xE2 \x81\x5C</p>\r\n<%@ include file=\"menu.inc\" %>\r\n");
    Write("inc/menu.inc", "<a href=\"/a.jsp\">\xB2\xCB\xB5\xA5</a>\r\nlast line without an end");
    Write("inc/bom.inc", "\xEF\xBB\xBFutf-8 \xE4\xB8\xAD\r\n");
    Write("inc/u16.inc", std::string("\xFF\xFE<\0p\0", 6));
    std::string page;
    for (const char* target : {"/inc/head.jspf", "../inc/menu.inc", "/inc/bom.inc", "/inc/u16.inc"}) {
        page += std::string("x<%@ include file=\"") + target + "\" %>y\r\n";
    }
    Write("s/p1.jsp", page);
    Write("s/p2.jsp", page + "\r\n<% int i; %>\r\n");

    struct Result {
        std::string output;
        std::string log;
        std::unordered_set<FileId, FileIdHash> read;
    };
    const auto run = [&](SiteFiles& files) {
        Result result;
        ExpansionContext state;
        state.siteRoot = root;
        LogText log;
        PageExpander expander({"jsp", "html", CodePageChoice::Auto, '/'}, state, files, log);
        for (int round = 0; round < 3; ++round) {
            for (const char* name : {"s/p1.jsp", "s/p2.jsp"}) {
                StringOutput out;
                expander.ExpandSourcePage(root + name, out);
                result.output += out.Text();
            }
        }
        result.log = log.Text();
        result.read = expander.FilesRead();
        return result;
    };
    const Result direct = run(disk);
    CachedSiteFiles cache(counting);
    const Result cached = run(cache);
    EXPECT_EQ(cached.output, direct.output);
    EXPECT_EQ(cached.log, direct.log);
    EXPECT_EQ(cached.read, direct.read);
    EXPECT_NE(direct.output.find("utf-8 \xE4\xB8\xAD\r\n"), std::string::npos);  // the mark is dropped
    EXPECT_NE(direct.log.find("UTF-16"), std::string::npos);
    EXPECT_EQ(counting.opens[root + "inc/head.jspf"], 2);  // 6 expansions, 2 reads
}

}  // namespace
}  // namespace quernfold
