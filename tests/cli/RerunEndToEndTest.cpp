// A re-run into the same output folder keeps the pages nothing changed for: after each kind of change (a page, a
// nested include, an include now found as spelled, a missing include that appears, a choice, an output file),
// stdout, the report and the output tree equal those of a --full run into the same folder, and exactly the pages
// that depend on the change were written again (a page written again is a new file: its identity changes).

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::ProcessResult;
using test_support::ReadFile;
using test_support::ReadTree;
using test_support::Tree;
using test_support::WriteFile;

using Inodes = std::map<std::string, ino_t>;

struct Outcome {
    ProcessResult result;
    Tree tree;
    std::string report;
};

/** The cache folder of the runs below: a folder of the sandbox, so no record outlives the test. */
class CacheHome {
public:
    explicit CacheHome(const fs::path& folder) {
        if (const char* old = std::getenv("XDG_CACHE_HOME")) m_old = old;
        ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
    }
    ~CacheHome() {
        if (m_old) {
            ::setenv("XDG_CACHE_HOME", m_old->c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
    }
    CacheHome(const CacheHome&) = delete;
    CacheHome& operator=(const CacheHome&) = delete;

private:
    std::optional<std::string> m_old;
};

class Rerun : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        const fs::path site = m_work.Site();
        WriteFile(site / "a.jsp", "<p>a</p>\n<%@ include file=\"inc/head.inc\" %>\n<a href=\"b.jsp\">b</a>\n");
        WriteFile(site / "inc" / "head.inc", "<h1>head</h1>\n<%@ include file=\"nested.inc\" %>\n");
        WriteFile(site / "inc" / "nested.inc", "<i>nested one</i>\n");
        WriteFile(site / "b.jsp", "<p>b</p>\n<%@ include file=\"inc/other.inc\" %>\n");
        WriteFile(site / "inc" / "other.inc", "<b>other</b>\n");
        // Found ignoring case until a file of the spelled name appears.
        WriteFile(site / "e.jsp", "<p>e</p>\n<%@ include file=\"inc/Foot.inc\" %>\n");
        WriteFile(site / "inc" / "foot.inc", "<u>foot, lower case</u>\n");
        // Not found: a warning, until the file appears.
        WriteFile(site / "sub" / "c.jsp", "<p>c</p>\n<%@ include file=\"late.inc\" %>\n");
        WriteFile(site / "sub" / "d.jsp", "<p>d, no include</p>\n");
        fs::create_directories(m_work.Out());
    }

    // A file changed just before it is read is not trusted (its next change may fall in the same clock tick):
    // the changes below are made a little before the runs that should see them.
    static void LetTheClockMove() { std::this_thread::sleep_for(std::chrono::milliseconds(120)); }

    Outcome RunCli(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"--jobs", std::to_string(GetParam()), "--max-warnings", "0",
                                         "--report", "report.json"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("site");
        args.push_back("out");
        Outcome outcome{m_work.Run(args), ReadTree(m_work.Out()), {}};
        outcome.report = ReadFile(m_work.Dir() / "report.json");
        return outcome;
    }

    Inodes OutputInodes() const {
        Inodes inodes;
        for (const auto& entry : fs::recursive_directory_iterator(m_work.Out())) {
            struct stat info {};
            if (entry.is_regular_file() && ::lstat(entry.path().c_str(), &info) == 0) {
                inodes[fs::relative(entry.path(), m_work.Out()).string()] = info.st_ino;
            }
        }
        return inodes;
    }

    /**
     * A first run, the change, a re-run and then a --full run into the same folder: the re-run must show what the
     * full run shows, and the pages written again by the re-run must be exactly `rewritten`.
     */
    void Check(const std::function<void()>& change, const std::set<std::string>& rewritten,
               const std::vector<std::string>& rerunArgs = {}) {
        LetTheClockMove();
        const Outcome first = RunCli();
        ASSERT_EQ(first.result.exitStatus, 1) << first.result.err;  // c.jsp's missing include is a warning
        change();
        LetTheClockMove();
        const Inodes before = OutputInodes();
        const Outcome again = RunCli(rerunArgs);
        const Inodes after = OutputInodes();
        const Outcome full = RunCli([&] {
            std::vector<std::string> args = rerunArgs;
            args.push_back("--full");
            return args;
        }());
        EXPECT_EQ(again.result.exitStatus, full.result.exitStatus);
        EXPECT_EQ(again.result.out, full.result.out);
        EXPECT_EQ(again.result.err, full.result.err);
        EXPECT_EQ(again.tree, full.tree);
        EXPECT_EQ(again.report, full.report);
        std::set<std::string> written;
        for (const auto& [path, inode] : after) {
            const auto old = before.find(path);
            if (old == before.end() || old->second != inode) written.insert(path);
        }
        EXPECT_EQ(written, rewritten);
    }

    test_support::Workspace m_work;
    CacheHome m_cache{m_work.Dir() / "cache"};
};

// A page with a warning is always converted again: its warning is part of the log.
const std::string kWarned = "sub/c.html";

TEST_P(Rerun, NothingChangedWritesOnlyThePageWithAWarning) {
    Check([] {}, {kWarned});
}

TEST_P(Rerun, ChangedPageIsWrittenAgain) {
    Check([&] { WriteFile(m_work.Site() / "b.jsp", "<p>b, longer now</p>\n<%@ include file=\"inc/other.inc\" %>\n"); },
          {"b.html", kWarned});
}

TEST_P(Rerun, ChangedNestedIncludeRewritesThePagesThatUseIt) {
    // Same size: the modification time and change time tell.
    Check([&] { WriteFile(m_work.Site() / "inc" / "nested.inc", "<i>nested two</i>\n"); }, {"a.html", kWarned});
}

TEST_P(Rerun, IncludeNowFoundAsSpelledRewritesThePage) {
    Check([&] { WriteFile(m_work.Site() / "inc" / "Foot.inc", "<u>Foot, as spelled</u>\n"); }, {"e.html", kWarned});
}

TEST_P(Rerun, MissingIncludeThatAppearsEndsTheWarning) {
    Check([&] { WriteFile(m_work.Site() / "sub" / "late.inc", "<s>late</s>\n"); }, {kWarned});
}

TEST_P(Rerun, ChangedChoiceRewritesEveryPage) {
    Check([] {}, {"a.html", "b.html", "e.html", "sub/c.html", "sub/d.html"}, {"--encoding", "gbk"});
}

TEST_P(Rerun, ChangedOrRemovedOutputFileIsWrittenAgain) {
    Check(
        [&] {
            WriteFile(m_work.Out() / "a.html", "edited by hand\n");
            fs::remove(m_work.Out() / "sub" / "d.html");
        },
        {"a.html", "sub/d.html", kWarned});
}

TEST_P(Rerun, OutputFileReplacedByALinkIsWrittenAgain) {
    Check(
        [&] {
            fs::rename(m_work.Out() / "b.html", m_work.Dir() / "b.html");
            fs::create_symlink(m_work.Dir() / "b.html", m_work.Out() / "b.html");
        },
        {"b.html", kWarned});
}

TEST_P(Rerun, UnreadableOrForeignRecordMeansAFullConversion) {
    Check(
        [&] {
            for (const auto& entry : fs::recursive_directory_iterator(m_work.Dir() / "cache")) {
                if (entry.is_regular_file()) WriteFile(entry.path(), "quernfold run record 1\n3\nabc");
            }
        },
        {"a.html", "b.html", "e.html", "sub/c.html", "sub/d.html"});
}

// A record cut short at its end (a full disk, a copy broken off) is not trusted for the pages before the cut.
TEST_P(Rerun, RecordCutAtItsEndMeansAFullConversion) {
    Check(
        [&] {
            for (const auto& entry : fs::recursive_directory_iterator(m_work.Dir() / "cache")) {
                if (entry.is_regular_file()) fs::resize_file(entry.path(), fs::file_size(entry.path()) - 2);
            }
        },
        {"a.html", "b.html", "e.html", "sub/c.html", "sub/d.html"});
}

INSTANTIATE_TEST_SUITE_P(Jobs, Rerun, testing::Values(1, 2));

}  // namespace
}  // namespace quernfold
