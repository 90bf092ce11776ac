#include "engine/platform/posix/DiskSiteFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "engine/text/Errors.h"
#include "engine/log/LogText.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

using test_support::ReadFile;
using test_support::WriteFile;

namespace fs = std::filesystem;
using Containment = DiskSiteFiles::Containment;

std::string ReadAll(SourceFile& file) {
    std::string text;
    char buffer[4096];
    while (const std::size_t got = file.Read(buffer, sizeof buffer)) text.append(buffer, got);
    return text;
}

// A site with links that stay inside it and links that lead out, beside a secret the site must never read:
//   base/secret.txt, base/outside/s.inc, base/site/..., base/sitelink -> site
class DiskSiteFilesTest : public ::testing::TestWithParam<Containment> {
protected:
    void SetUp() override {
        site = base / "site";
        WriteFile(base / "secret.txt", "SECRET");
        WriteFile(base / "outside" / "s.inc", "OUTSIDE");
        WriteFile(site / "inc" / "a.inc", "A");
        fs::create_directories(site / "dir");
        fs::create_symlink("../secret.txt", site / "out.inc");
        fs::create_symlink(base / "secret.txt", site / "abs_out.inc");
        fs::create_symlink(site / "inc" / "a.inc", site / "abs_in.inc");
        fs::create_symlink("inc/a.inc", site / "rel_in.inc");
        fs::create_symlink("../outside", site / "outdir");
        fs::create_symlink(base / "outside", site / "absoutdir");
        fs::create_symlink("..", site / "inc" / "up");
        fs::create_symlink("/", site / "rootlink");
        fs::create_symlink("missing", site / "dangling");
        fs::create_symlink("site", base / "sitelink");
        ASSERT_EQ(::mkfifo((site / "fifo").c_str(), 0644), 0);
        savedCwd = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(savedCwd);
    }

    // The content of the file, or the description of the failure.
    static std::string OpenResult(DiskSiteFiles& files, const std::string& path) {
        try {
            auto file = files.Open(path);
            return ReadAll(*file);
        } catch (const FileError& failure) {
            return std::string("error: ") + failure.what();
        }
    }

    test_support::Sandbox sandbox;
    fs::path base = sandbox.Root();
    fs::path site;
    fs::path savedCwd;
};

const std::string kOutside = std::string("error: ") + DiskSiteFiles::OutsideRootReason();

TEST_P(DiskSiteFilesTest, OpensOnlyWhatLiesInsideTheRealSiteRoot) {
    struct Row {
        const char* below;  // the path after the root's text
        std::string expected;
    };
    const Row rows[] = {
        {"inc/a.inc", "A"},
        {"rel_in.inc", "A"},
        {"abs_in.inc", "A"},  // an absolute link that comes back inside is followed
        {"inc/up/inc/a.inc", "A"},
        {"inc/../inc/a.inc", "A"},
        {"out.inc", kOutside},
        {"abs_out.inc", kOutside},
        {"outdir/s.inc", kOutside},
        {"absoutdir/s.inc", kOutside},
        {"rootlink/etc/passwd", kOutside},
        {"../secret.txt", kOutside},
        {"inc/../../secret.txt", kOutside},
        {"inc/up/../secret.txt", kOutside},
        {"missing.inc", "error: " + SystemReason(ENOENT)},
        {"dangling", "error: " + SystemReason(ENOENT)},
        {"dir", "error: " + SystemReason(EISDIR)},
        {"fifo", "error: not a regular file"},
    };
    // The same site named in the ways a user may type it: absolute, relative, untidy, through a link.
    struct Root {
        std::string text;
        bool fromBase;  // relative to base as the working folder
    };
    const Root roots[] = {
        {site.string() + "/", false},
        {"site/", true},
        {"./site//", true},
        {"sitelink/", true},
        {(base / "sitelink").string() + "/", false},
    };
    for (const Root& root : roots) {
        fs::current_path(root.fromBase ? base : savedCwd);
        DiskSiteFiles files(root.text, GetParam());
        for (const Row& row : rows) {
            EXPECT_EQ(OpenResult(files, root.text + row.below), row.expected) << root.text << row.below;
        }
    }
}

TEST_P(DiskSiteFilesTest, RefusesPathsThatDoNotBeginAtTheRoot) {
    DiskSiteFiles files(site.string(), GetParam());
    EXPECT_EQ(OpenResult(files, "/etc/passwd"), kOutside);
    EXPECT_EQ(OpenResult(files, (base / "secret.txt").string()), kOutside);
    EXPECT_EQ(OpenResult(files, base.string() + "/site2/x.inc"), kOutside);
    // Untidy spellings of a path below the root are still below it.
    EXPECT_EQ(OpenResult(files, base.string() + "//site/./inc/a.inc"), "A");
}

TEST_P(DiskSiteFilesTest, RelativeRootAboveTheWorkingFolder) {
    fs::create_directories(base / "work");
    fs::current_path(base / "work");
    DiskSiteFiles files("../site", GetParam());
    EXPECT_EQ(OpenResult(files, "../site/inc/a.inc"), "A");
    EXPECT_EQ(OpenResult(files, "../site/out.inc"), kOutside);
    EXPECT_EQ(OpenResult(files, "../secret.txt"), kOutside);
}

TEST_P(DiskSiteFilesTest, ListsNoFolderOutsideTheRoot) {
    DiskSiteFiles files(site.string() + "/", GetParam());
    std::vector<std::string> names = files.ListNames(site.string() + "/inc");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.inc", "up"}));
    EXPECT_TRUE(files.ListNames(site.string() + "/outdir").empty());
    EXPECT_TRUE(files.ListNames(site.string() + "/rootlink").empty());
    EXPECT_TRUE(files.ListNames(base.string()).empty());
    EXPECT_FALSE(files.ListNames(site.string() + "/inc/up").empty());
}

TEST_P(DiskSiteFilesTest, ALinkSwappedInAfterTheFirstOpenIsStillRefused) {
    DiskSiteFiles files(site.string() + "/", GetParam());
    EXPECT_EQ(OpenResult(files, site.string() + "/inc/a.inc"), "A");
    fs::remove_all(site / "inc");
    fs::create_symlink("../outside", site / "inc");
    WriteFile(base / "outside" / "a.inc", "SWAPPED");
    EXPECT_EQ(OpenResult(files, site.string() + "/inc/a.inc"), kOutside);
}

TEST_P(DiskSiteFilesTest, IncludeThroughALinkOutsideIsAWarningAndNeverInTheOutput) {
    WriteFile(site / "page.jsp",
              "top\r\n<%@ include file=\"out.inc\" %>\r\n<%@ include file=\"outdir/s.inc\" %>\r\n"
              "<%@ include file=\"rel_in.inc\" %>\r\nend\r\n");
    ExpansionContext state;
    state.siteRoot = site.string() + "/";
    DiskSiteFiles files(state.siteRoot, GetParam());
    LogText log;
    PageExpander expander({"jsp", "html", CodePageChoice::Auto, '/'}, state, files, log);
    StringOutput out;
    EXPECT_FALSE(expander.ExpandSourcePage(state.siteRoot + "page.jsp", out));
    EXPECT_EQ(out.Text(), "top\r\n\r\n\r\n\r\nA\r\nend\r\n");
    EXPECT_EQ(state.warningCount, 2);
    const std::string banner(79, '#');
    EXPECT_EQ(log.Text(), "\r\n" + banner + "\r\n提取" + state.siteRoot + "out.inc时异常：" +
                              DiskSiteFiles::OutsideRootReason() + "\r\n" + banner + "\r\n提取" + state.siteRoot +
                              "outdir/s.inc时异常：" + DiskSiteFiles::OutsideRootReason());
}

// A folder of the site and a link out of it trade places again and again while the site is read: whatever the
// timing, every open gives the file inside the site or a failure, never the file outside.
TEST_P(DiskSiteFilesTest, AFolderFlippedWithALinkOutNeverLeadsOut) {
    WriteFile(base / "outside" / "a.inc", "OUTSIDE");
    fs::create_symlink("../outside", site / "flip");
    DiskSiteFiles files(site.string() + "/", GetParam());
    std::atomic<bool> stop{false};
    std::thread flipper([&] {
        const std::string inc = (site / "inc").string();
        const std::string flip = (site / "flip").string();
        while (!stop) ::renameat2(AT_FDCWD, inc.c_str(), AT_FDCWD, flip.c_str(), RENAME_EXCHANGE);
    });
    std::map<std::string, int> results;
    for (int i = 0; i < 3000; ++i) {
        for (const char* below : {"inc/a.inc", "inc/up/inc/a.inc", "inc/../inc/a.inc"}) {
            ++results[OpenResult(files, site.string() + "/" + below).substr(0, 40)];
        }
    }
    stop = true;
    flipper.join();
    EXPECT_EQ(results.count("OUTSIDE"), 0u);
    EXPECT_GT(results["A"], 0);
    for (const auto& [result, count] : results) {
        EXPECT_TRUE(result == "A" || result.starts_with("error: ")) << result << " x" << count;
    }
}

INSTANTIATE_TEST_SUITE_P(Containment, DiskSiteFilesTest, ::testing::Values(Containment::Kernel, Containment::Segments),
                         [](const ::testing::TestParamInfo<Containment>& info) {
                             return info.param == Containment::Kernel ? std::string("Kernel") : std::string("Segments");
                         });

}  // namespace
}  // namespace quernfold
