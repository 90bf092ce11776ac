#include "engine/CachedSiteFiles.h"

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
#include <thread>
#include <unordered_set>

#include "engine/DiskSiteFiles.h"
#include "engine/Errors.h"
#include "engine/LogText.h"
#include "engine/OutputSink.h"
#include "engine/PageExpander.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

constexpr std::chrono::nanoseconds kNoSettle{0};

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
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(OpenAndRead(cache, path), "head\r\nline two\r\n") << "open " << i;
    EXPECT_EQ(counting.opens[path], 2);
    EXPECT_EQ(cache.CachedFiles(), 1u);

    // The run records what it read by identity, so a kept copy must name the file on disk.
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const std::unique_ptr<SourceFile> kept = cache.Open(path);
    EXPECT_EQ(kept->Id(), (FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino}));
    EXPECT_NE(dynamic_cast<CachedSourceFile*>(kept.get()), nullptr);
}

struct ChangeCase {
    const char* name;
    std::function<void(const std::string& path)> change;
    std::string expected;
};

class CachedSiteFilesChange : public CachedSiteFilesTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(CachedSiteFilesChange, ReadsTheFileAfreshOnceItChanged) {
    const std::string path = Write("inc/part.inc", "before\r\n");
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
    OpenAndRead(cache, path);
    OpenAndRead(cache, path);
    ASSERT_EQ(cache.CachedFiles(), 1u);
    GetParam().change(path);
    EXPECT_EQ(OpenAndRead(cache, path), GetParam().expected);
    EXPECT_EQ(counting.opens[path], 3);
    EXPECT_EQ(OpenAndRead(cache, path), GetParam().expected);  // and the new bytes are kept in turn
    EXPECT_EQ(counting.opens[path], 3);
}

INSTANTIATE_TEST_SUITE_P(Changes, CachedSiteFilesChange,
                         ::testing::Values(
                             // Same size, and the old modification time put back: only the change time tells, once the
                             // file system's clock has moved on (the settle time does that wait in a run).
                             ChangeCase{"SameSizeAndModificationTime",
                                        [](const std::string& path) {
                                            std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                            std::ofstream(path, std::ios::binary | std::ios::trunc) << "after!\r\n";
                                            SetOld(path);
                                        },
                                        "after!\r\n"},
                             ChangeCase{"OtherSize",
                                        [](const std::string& path) {
                                            std::ofstream(path, std::ios::binary | std::ios::app) << "more\r\n";
                                        },
                                        "before\r\nmore\r\n"},
                             ChangeCase{"ReplacedByAnotherFile",
                                        [](const std::string& path) {
                                            const std::string other = path + ".new";
                                            std::ofstream(other, std::ios::binary) << "other!\r\n";
                                            SetOld(other);
                                            std::filesystem::rename(other, path);
                                        },
                                        "other!\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CachedSiteFilesTest, AKeptFileThatIsGoneIsGone) {
    const std::string path = Write("inc/gone.inc", "x\r\n");
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
    OpenAndRead(cache, path);
    OpenAndRead(cache, path);
    EXPECT_EQ(cache.Kind(path), EntryKind::File);
    std::filesystem::remove(path);
    EXPECT_EQ(cache.Kind(path), EntryKind::Missing);
    EXPECT_THROW(cache.Open(path), FileError);
    EXPECT_EQ(cache.CachedFiles(), 0u);
}

TEST_F(CachedSiteFilesTest, KeepsNothingThatChangedJustBefore) {
    // A second change within the same tick of the file system's clock would not move its times. The second file
    // has its modification time put back, as an unpacker does: its change time still tells.
    const std::string fresh = root + "fresh.inc";
    std::ofstream(fresh, std::ios::binary) << "fresh\r\n";
    const std::string unpacked = Write("unpacked.inc", "unpacked\r\n");
    CachedSiteFiles cache(counting);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(OpenAndRead(cache, fresh), "fresh\r\n");
        EXPECT_EQ(OpenAndRead(cache, unpacked), "unpacked\r\n");
    }
    EXPECT_EQ(counting.opens[fresh], 3);
    EXPECT_EQ(counting.opens[unpacked], 3);
    EXPECT_EQ(cache.CachedFiles(), 0u);
}

TEST_F(CachedSiteFilesTest, StaysWithinItsCapacityDroppingTheLeastRecentlyOpened) {
    const std::string a = Write("a.inc", std::string(1000, 'a'));
    const std::string b = Write("b.inc", std::string(1000, 'b'));
    const std::string c = Write("c.inc", std::string(1000, 'c'));
    CachedSiteFiles cache(counting, 2500, kNoSettle);  // room for two of them
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
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(OpenAndRead(cache, path, 1 << 16), big);
    EXPECT_EQ(counting.opens[path], 3);
    EXPECT_EQ(cache.CachedBytes(), 0u);
}

TEST_F(CachedSiteFilesTest, FailuresToOpenAreTheDisksOwn) {
    Write("inc/x.inc", "x");
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
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
    }
}

TEST_F(CachedSiteFilesTest, KeepsAFolderListingUntilTheFolderChanges) {
    Write("inc/Head.inc", "h");
    SetOld(root + "inc");
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
    const std::string folder = root + "inc";
    EXPECT_EQ(cache.ListNames(folder), std::vector<std::string>{"Head.inc"});
    EXPECT_EQ(cache.ListNames(folder), std::vector<std::string>{"Head.inc"});
    EXPECT_EQ(counting.listings[folder], 1);

    std::ofstream(root + "inc/foot.inc") << "f";
    std::vector<std::string> names = cache.ListNames(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Head.inc", "foot.inc"}));
    EXPECT_EQ(counting.listings[folder], 2);
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
        RunState state;
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
    CachedSiteFiles cache(counting, CachedSiteFiles::kDefaultCapacity, kNoSettle);
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
