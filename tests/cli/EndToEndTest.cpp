// Runs the built quernfold-cli on fixture sites and compares the whole output tree and the whole log with files
// written by hand from the conversion rules. Each run happens in a fresh folder with relative paths ("site",
// "out"), so the log lines are the same on every machine.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::BannerProblems;
using test_support::CopyTree;
using test_support::LogTextFromLines;
using test_support::ProcessOptions;
using test_support::ProcessResult;
using test_support::ReadFile;
using test_support::ReadTree;
using test_support::RunProcess;
using test_support::Tree;
using test_support::TreeDifferences;
using test_support::Generated;
using test_support::Started;
using test_support::Summary;
using test_support::Workspace;
using test_support::WriteFile;

const fs::path kData = fs::path(QUERNFOLD_TEST_DATA) / "cli";

const std::string kEq(77, '=');
const std::string kHash(79, '#');
const std::string kStar(78, '*');
const std::string kTooMany = "系统异常太多，已自动终止！\n可能是因为您网站根目录未定义正确，请您修改后重新进行转换！\n";

std::string Finished(int succeeded, int failed) {
    return "文件转换完成，成功：" + std::to_string(succeeded) + "个，异常：" + std::to_string(failed) +
           "个，详见日志!\n";
}

std::string Failed(const std::string& source, const std::string& reason) {
    return source + "文件转换时异常,原因为：" + reason + "\n";
}
std::string Warning(const std::string& path, const std::string& reason) {
    return kHash + "\n提取" + path + "时异常：" + reason + "\n";
}

Tree ExpectedTree(const std::string& fixture) {
    return ReadTree(kData / fixture / "expected");
}
std::string ExpectedLog(const std::string& fixture) {
    return ReadFile(kData / fixture / "expected.log");
}

bool IsTemporaryName(const fs::path& path) {
    return path.filename().string().rfind(".quernfold-", 0) == 0;
}

/** Temporary files of the safe writes (".quernfold-*.tmp") left in a folder or anywhere below it. */
std::string LeftoverTemporaryFiles(const fs::path& folder) {
    std::string names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (IsTemporaryName(entry.path())) names += entry.path().lexically_relative(folder).string() + "\n";
    }
    return names;
}

// ---------------------------------------------------------------------------------------------------------------
// Whole fixture sites: tree, stdout, --log file, stderr and exit status, all against hand-written expectations.

struct FixtureCase {
    const char* label;
    const char* fixture;
    std::vector<std::string> options;
    const char* outputDir;  // "site" writes onto the sources; the site is then expected unchanged
    int exitStatus;
    std::string err;
};

void PrintTo(const FixtureCase& c, std::ostream* os) {
    *os << c.label;
}

class FixtureRun : public testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureRun, MatchesTheHandWrittenTreeAndLog) {
    const FixtureCase& c = GetParam();
    // What is written does not depend on how many pages are converted at once.
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const Workspace work(c.fixture);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--jobs", jobs, "--log", "run.log", "site", c.outputDir});

        const ProcessResult result = work.Run(args);

        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_EQ(result.err, c.err);
        const std::string expectedLog = ExpectedLog(c.fixture);
        EXPECT_EQ(result.out, expectedLog);
        EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(expectedLog));
        EXPECT_EQ(BannerProblems(result.out), "");
        EXPECT_EQ(LeftoverTemporaryFiles(work.Dir()), "");
        if (std::string(c.outputDir) == "site") {
            EXPECT_EQ(TreeDifferences(ReadTree(kData / c.fixture / "site"), ReadTree(work.Site())), "");
            EXPECT_EQ(TreeDifferences({}, ReadTree(work.Out())), "");
        } else {
            EXPECT_EQ(TreeDifferences(ExpectedTree(c.fixture), ReadTree(work.Out())), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sites, FixtureRun,
    testing::Values(
        // Discovery order, the type test, hidden entries, nested and "/"-rooted includes, CR / LF / CR LF.
        FixtureCase{"JspSite", "basic", {}, "out", 0, Finished(12, 0)},
        // Comment includes, "virtual", blocks written back, a multi-line block, #INCLUDE in capitals.
        FixtureCase{"AspSite", "asp", {"-t", "asp", "-T", "htm"}, "out", 0, Finished(4, 0)},
        // GBK pages whose double-byte characters end in "\" and "j", a GBK include target, a UTF-8 include with
        // its byte-order mark, UTF-8 file names.
        FixtureCase{"GbkSiteDetected", "gbk", {}, "out", 0, Finished(4, 0)},
        FixtureCase{"GbkSiteChosen", "gbk", {"--encoding", "gbk"}, "out", 0, Finished(4, 0)},
        // Missing includes, a self-include at the depth limit, containment, the stop after page 3 of 4.
        FixtureCase{"StopAtTenWarnings", "warnings", {}, "out", 1, kTooMany + Finished(3, 0)},
        // A failed include (still converted), a UTF-16 source page, two pages with one output path.
        FixtureCase{"MendedFaults", "faults", {}, "out", 1, Finished(3, 2)},
        // Every output path is its own source page.
        FixtureCase{"OutputOntoTheSources", "selfout", {"-T", "jsp"}, "site", 1, Finished(0, 2)}),
    [](const testing::TestParamInfo<FixtureCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------------------------

TEST(CliRun, SecondRunIntoTheSameOutputReplacesPagesAndKeepsOtherFiles) {
    const Workspace work("basic");
    ASSERT_EQ(work.Run({"site", "out"}).exitStatus, 0);
    WriteFile(work.Out() / "index.html", "edited by hand\r\n");
    WriteFile(work.Out() / "notes.txt", "kept");

    const ProcessResult second = work.Run({"--log", "run.log", "site", "out"});

    EXPECT_EQ(second.exitStatus, 0);
    EXPECT_EQ(second.out, ExpectedLog("basic"));
    EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(ExpectedLog("basic")));
    Tree expected = ExpectedTree("basic");
    expected["notes.txt"] = "kept";
    EXPECT_EQ(TreeDifferences(expected, ReadTree(work.Out())), "");
}

TEST(CliRun, QuietEmptiesStdoutOnly) {
    const Workspace work("basic");
    const ProcessResult result = work.Run({"-q", "--log", "run.log", "site", "out"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Finished(12, 0));
    EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(ExpectedLog("basic")));
}

TEST(CliRun, RelativeAndDotPathsAppearAsGiven) {
    const Workspace work("faults");
    fs::remove_all(work.Site() / "u16.jsp");
    fs::remove_all(work.Site() / "yjsp");
    fs::remove_all(work.Site() / "good.jsp");
    const ProcessResult result = work.Run({"./site/", "  out  "});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, Started("./site/xjsp") + Generated("out/.html") + Started("./site/inc/part.jsp") +
                              Generated("out/inc/part.html") + Summary(2, 2, 0, 0));
}

// ---------------------------------------------------------------------------------------------------------------
// Refusals and aborts: exit status 2, the message text on stderr, nothing written.

struct RefusalCase {
    const char* label;
    std::vector<std::string> args;
    std::string err;
};

class CliRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(CliRefusal, ExitsWithTwoAndWritesNothing) {
    const RefusalCase& c = GetParam();
    const Workspace work("basic");
    WriteFile(work.Dir() / "run.log", "earlier log");
    std::vector<std::string> args = {"--log", "run.log"};
    args.insert(args.end(), c.args.begin(), c.args.end());

    const Tree site = ReadTree(work.Site());

    const ProcessResult result = work.Run(args);

    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(TreeDifferences({}, ReadTree(work.Out())), "");
    EXPECT_EQ(TreeDifferences(site, ReadTree(work.Site())), "");
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(work.Dir())) entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"out", "run.log", "site"}));
    // A refused run leaves the log as it was, as the window's pane stays.
    EXPECT_EQ(ReadFile(work.Dir() / "run.log"), "earlier log");
    EXPECT_EQ(LeftoverTemporaryFiles(work.Dir()), "");
}

INSTANTIATE_TEST_SUITE_P(
    Choices, CliRefusal,
    testing::Values(
        RefusalCase{"EmptySiteRoot", {"", "out"}, "quernfold-cli: 未指定网站文件根目录！\n"},
        RefusalCase{"SpacesForSiteRoot", {"   ", "out"}, "quernfold-cli: 未指定网站文件根目录！\n"},
        RefusalCase{"SpacesForOutputFolder", {"site", "   "}, "quernfold-cli: 未指定转换结果存放目录！\n"},
        // The output folder is checked first.
        RefusalCase{"BothEmpty", {"", ""}, "quernfold-cli: 未指定转换结果存放目录！\n"},
        RefusalCase{"MissingOperand",
                    {"site"},
                    "quernfold-cli: SITE_ROOT and OUTPUT_DIR are both needed\n"
                    "Try 'quernfold-cli --help' for more information.\n"},
        RefusalCase{"UnknownEncoding",
                    {"-e", "latin9", "site", "out"},
                    "quernfold-cli: unknown encoding 'latin9' (choose auto, gbk, gb18030, big5, "
                    "shift_jis or utf-8)\nTry 'quernfold-cli --help' for more information.\n"},
        // A value echoed in an error cannot drive the terminal.
        RefusalCase{"TerminalSequencesInAnOptionValue",
                    {"-e",
                     "\x1B[2J\xC2\x9B"
                     "31m\xE2\x80\xAEx",
                     "site", "out"},
                    "quernfold-cli: unknown encoding '\\x1B[2J\\xC2\\x9B31m\\xE2\\x80\\xAEx' (choose auto, "
                    "gbk, gb18030, big5, shift_jis or utf-8)\nTry 'quernfold-cli --help' for more "
                    "information.\n"},
        RefusalCase{"UnknownOptionWithAControlCharacter",
                    {"--\x1B]0;x", "site", "out"},
                    "quernfold-cli: unknown option '--\\x1B]0;x'\nTry 'quernfold-cli --help' for more "
                    "information.\n"},
        // A type becomes part of every output name.
        RefusalCase{"OutputTypeClimbingOutOfTheOutputFolder",
                    {"-T", "html/../../ESCAPED", "site", "out"},
                    "quernfold-cli: 转换类型或网页类型无效！\n"},
        RefusalCase{
            "OutputTypeWithABackslash", {"-T", "a\\b", "site", "out"}, "quernfold-cli: 转换类型或网页类型无效！\n"},
        RefusalCase{"SourceTypeDotDot", {"-t", " .. ", "site", "out"}, "quernfold-cli: 转换类型或网页类型无效！\n"},
        RefusalCase{"OutputTypeDot", {"-T", ".", "site", "out"}, "quernfold-cli: 转换类型或网页类型无效！\n"},
        RefusalCase{
            "TypeCheckedAfterTheEmptyFolders", {"-T", "/", "site", " "}, "quernfold-cli: 未指定转换结果存放目录！\n"},
        // --log never replaces a file of the site or of the run.
        RefusalCase{"LogOntoASitePage",
                    {"--log", "site/index.jsp", "site", "out"},
                    "quernfold-cli: the file site/index.jsp is not written: it is a page of the site\n"},
        RefusalCase{"LogOntoAnOutputPathOfTheRun",
                    {"--log", "out/./index.html", "site", "out"},
                    "quernfold-cli: the file out/./index.html is not written: it is the output file "
                    "out/index.html of this run\n"},
        // Nor any other file of the site, a static file's copy or the other side output.
        RefusalCase{"LogOntoAFileOfTheSite",
                    {"--log", "site/a.jsp.bak", "site", "out"},
                    "quernfold-cli: the file site/a.jsp.bak is not written: it is a file of the site\n"},
        RefusalCase{"ReportOntoAStaticFileOfTheSite",
                    {"--report", "site/a.js", "site", "out"},
                    "quernfold-cli: the file site/a.js is not written: it is a file of the site\n"},
        RefusalCase{"ReportOntoTheCopyOfAStaticFile",
                    {"-a", "--report", "out/a.js", "site", "out"},
                    "quernfold-cli: the file out/a.js is not written: it is the copy of the static file a.js of "
                    "this run\n"},
        RefusalCase{"ReportAndLogOntoOneFile",
                    {"--report", "./run.log", "site", "out"},
                    "quernfold-cli: the file ./run.log is not written: it is also the file of another option "
                    "(run.log)\n"},
        RefusalCase{"ControlCharacterInAType", {"-T", "h\ntm", "site", "out"}, "quernfold-cli: 转换类型或网页类型无效！\n"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.label); });

TEST(CliRun, SourceTypeOfAnotherLengthRunsWithOneNoteOnStderr) {
    const Workspace work("basic");
    const ProcessResult result = work.Run({"-t", " html ", "site", "out"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err,
              "quernfold-cli: note: file names are matched on their last three characters, so the source type "
              "'html', of another length, can match nothing\n" +
                  Finished(0, 0));
    EXPECT_EQ(result.out, Summary(0, 0, 0, 0));
}

TEST(CliRun, ClosedStandardStreamsNeverReachPagesOrTheLog) {
    // Missing includes make log lines while the page is being written: they must not land in the page.
    std::string page;
    for (int i = 0; i < 3; ++i) page += "<%@ include file=\"gone" + std::to_string(i) + ".inc\" %>\n";
    page += "text\n";
    std::string expectedLog = Started("site/a.jsp");
    for (int i = 0; i < 3; ++i) {
        expectedLog += Warning("site/gone" + std::to_string(i) + ".inc", "No such file or directory");
    }
    expectedLog += Generated("out/a.html") + Summary(1, 1, 0, 3);
    struct Row {
        std::vector<int> closed;
        bool withLog;
    };
    for (const Row& row :
         {Row{{1}, false}, Row{{2}, false}, Row{{0, 1, 2}, false}, Row{{1}, true}, Row{{2}, true}, Row{{1, 2}, true}}) {
        const Workspace work;
        WriteFile(work.Site() / "a.jsp", page);
        const Tree site = ReadTree(work.Site());
        ProcessOptions options;
        options.closedDescriptors = row.closed;
        std::vector<std::string> args = {"site", "out"};
        if (row.withLog) args.insert(args.begin(), {"--log", "run.log"});
        const std::string label = std::to_string(row.closed.size()) + " closed from " + std::to_string(row.closed[0]) +
                                  (row.withLog ? " with --log" : "");

        const ProcessResult result = work.Run(args, options);

        EXPECT_EQ(result.exitStatus, 1) << label;
        EXPECT_EQ(TreeDifferences({{"a.html", "\r\n\r\n\r\ntext\r\n"}}, ReadTree(work.Out())), "") << label;
        if (row.withLog) {
            EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(expectedLog)) << label;
        }
        if (std::find(row.closed.begin(), row.closed.end(), 1) == row.closed.end()) {
            EXPECT_EQ(result.out, expectedLog) << label;
        }
        if (std::find(row.closed.begin(), row.closed.end(), 2) == row.closed.end()) {
            EXPECT_EQ(result.err, Finished(1, 0)) << label;
        }
        EXPECT_EQ(TreeDifferences(site, ReadTree(work.Site())), "") << label;
    }
}

TEST(CliRun, SeparatorsAndBidiControlsInNamesAndTargetsAreEscapedInEveryLine) {
    const Workspace work;
    const std::string ls = "\xE2\x80\xA8", rlo = "\xE2\x80\xAE", nel = "\xC2\x85";
    const std::string forged = ls + ">>生成out/evil.html成功！" + ls;
    WriteFile(work.Site() / ("a" + rlo + "b" + nel + ".jsp"), "<%@ include file=\"" + forged + "\" %>\n");
    const Tree site = ReadTree(work.Site());

    const ProcessResult result = work.Run({"--log", "run.log", "site", "out"});

    const std::string safeName = "a\\xE2\\x80\\xAEb\\xC2\\x85";
    const std::string expectedLog =
        Started("site/" + safeName + ".jsp") +
        Warning("site/\\xE2\\x80\\xA8>>生成out/evil.html成功！\\xE2\\x80\\xA8", "No such file or directory") +
        Generated("out/" + safeName + ".html") + Summary(1, 1, 0, 1);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, expectedLog);
    EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(expectedLog));
    EXPECT_EQ(TreeDifferences(site, ReadTree(work.Site())), "");
}

// What a --log may not replace besides pages: an include, and an earlier output in the site root.
TEST(CliRun, LogOntoAnIncludeOrAnEarlierOutputInTheSiteRootIsRefusedAndChangesNothing) {
    const Workspace work;
    WriteFile(work.Site() / "a.jsp", "<%@ include file=\"inc/foot.txt\" %>a");
    WriteFile(work.Site() / "inc" / "foot.txt", "foot");
    ASSERT_EQ(work.Run({"site", "site"}).exitStatus, 0);
    const Tree site = ReadTree(work.Site());
    struct Row {
        std::string log, output, err;
    };
    const Row rows[] = {
        {"site/inc/foot.txt", "out", "site/inc/foot.txt is not written: it is a file the run includes"},
        {"site/inc/../inc/foot.txt", "site", "site/inc/../inc/foot.txt is not written: it is a file the run includes"},
        {"site/a.html", "site", "site/a.html is not written: it is the output file site/a.html of this run"},
    };
    for (const Row& row : rows) {
        const ProcessResult result = work.Run({"--log", row.log, "site", row.output});
        EXPECT_EQ(result.exitStatus, 2) << row.log;
        EXPECT_EQ(result.err, "quernfold-cli: the file " + row.err + "\n");
        EXPECT_EQ(result.out, "") << row.log;
        EXPECT_EQ(TreeDifferences(site, ReadTree(work.Site())), "") << row.log;
        EXPECT_EQ(TreeDifferences({}, ReadTree(work.Out())), "") << row.log;
    }
}

TEST(CliRun, AKilledRunLeavesWholePagesAndAtMostOneTemporaryFile) {
    const Workspace work;
    std::string page;
    for (int i = 0; i < 4000; ++i) page += "line " + std::to_string(i) + " of a page linking to x.jsp\n";
    for (int i = 0; i < 40; ++i) WriteFile(work.Site() / ("p" + std::to_string(i) + ".jsp"), page);
    const Tree site = ReadTree(work.Site());
    fs::create_directories(work.Dir() / "ref");
    ASSERT_EQ(work.Run({"-q", "site", "ref"}).exitStatus, 0);
    const Tree reference = ReadTree(work.Dir() / "ref");
    for (int round = 0; round < 12; ++round) {
        // Every other round starts from a complete earlier run, so replacing pages is killed too.
        if (round % 2 == 0) fs::remove_all(work.Out());
        fs::create_directories(work.Out());
        const Tree before = ReadTree(work.Out());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::chdir(work.Dir().c_str()) != 0) _exit(126);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(QUERNFOLD_CLI, QUERNFOLD_CLI, "site", "out", static_cast<char*>(nullptr));
            _exit(127);
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const Tree out = ReadTree(work.Out());
        int temporaries = 0;
        for (const auto& [name, bytes] : out) {
            if (name.starts_with(".quernfold-")) {
                temporaries += before.count(name) == 0;  // left by this kill
                continue;
            }
            ASSERT_TRUE(reference.count(name)) << name;
            EXPECT_TRUE(bytes == reference.at(name)) << "round " << round << ": " << name << " is cut";
        }
        EXPECT_LE(temporaries, 1) << "round " << round;
    }
    EXPECT_EQ(TreeDifferences(site, ReadTree(work.Site())), "");
}

TEST(CliRun, MissingSiteRootAbortsWithoutSummary) {
    const Workspace work("basic");
    const ProcessResult result = work.Run({"--log", "run.log", "nosuch", "out"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, "quernfold-cli: 读取文件夹nosuch/时异常,原因为：No such file or directory\n");
    EXPECT_EQ(result.out, "");
    // The run had cleared the log before the walk failed: the saved log is that empty text.
    EXPECT_EQ(ReadFile(work.Dir() / "run.log"), "");
    EXPECT_EQ(TreeDifferences({}, ReadTree(work.Out())), "");
}

TEST(CliRun, SiteRootThatIsAFileAborts) {
    const Workspace work;
    WriteFile(work.Dir() / "page.jsp", "x");
    const ProcessResult result = work.Run({"page.jsp", "out"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, "quernfold-cli: 读取文件夹page.jsp/时异常,原因为：Not a directory\n");
    EXPECT_EQ(result.out, "");
}

TEST(CliRun, FolderBeyondThePathLimitAbortsTheRunAfterTheWalkStarted) {
    // A tree deeper than the system's path limit: the walk lists the upper folders, then cannot open the deep one.
    const Workspace work("basic");
    const std::string segment(200, 'd');
    std::string folder = "site";
    int dirFd = ::open(work.Site().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    while (folder.size() <= 4200) {
        ASSERT_EQ(::mkdirat(dirFd, segment.c_str(), 0755), 0);
        const int next = ::openat(dirFd, segment.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(dirFd);
        ASSERT_GE(next, 0);
        dirFd = next;
        folder += "/" + segment;
    }
    ::close(dirFd);
    // The first folder whose own path is too long to be opened: 21 levels down, 4,226 characters (the entries of
    // the folder above it are told apart by the listing, without a look at each by its path).
    std::string unreadable = "site/";
    for (int level = 0; level < 21; ++level) unreadable += segment + "/";
    const ProcessResult result = work.Run({"site", "out"});

    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, "quernfold-cli: 读取文件夹" + unreadable + "时异常,原因为：File name too long\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(TreeDifferences({}, ReadTree(work.Out())), "");
}

TEST(CliRun, LogFileThatCannotBeOpenedStopsBeforeTheRun) {
    const Workspace work("basic");
    const ProcessResult result = work.Run({"--log", "nodir/run.log", "site", "out"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err, "quernfold-cli: cannot write the log file nodir/run.log: No such file or directory\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(TreeDifferences({}, ReadTree(work.Out())), "");
}

// ---------------------------------------------------------------------------------------------------------------
// Sites laid out on the spot: links, FIFOs, names git cannot hold, system limits, output onto the sources. Each row
// runs the CLI with --log and compares the exit status, stdout, the log file, stderr, and every change the run made
// to the work folder: a source changed or gone, a file written outside the output folder, a leftover temporary
// file or a link written through all show up as changes no row expects.

/** The page text of lines "line <from>" .. "line <to - 1>", each naming a link with the extension. */
std::string NumberedLines(int from, int to, const std::string& extension, const std::string& lineEnd) {
    std::string text;
    for (int i = from; i < to; ++i) text += "line " + std::to_string(i) + " x" + extension + lineEnd;
    return text;
}

/** Every byte value once, in order, as a page; and what the page becomes (line ends at LF and CR made CR LF). */
std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes;
}
std::string AllBytesConverted() {
    std::string bytes = AllBytes();
    bytes.replace(13, 1, "\r\n");
    bytes.replace(10, 1, "\r\n");
    return bytes + "\r\n";
}

std::string WithWorkDir(std::string text, const fs::path& dir) {
    for (std::size_t at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}", at)) {
        text.replace(at, 5, dir.string());
    }
    return text;
}

/** What a run changed below the work folder: new or changed entries by value, vanished ones as "<gone>". */
Tree Changes(const Tree& before, const Tree& after) {
    Tree changes;
    for (const auto& [path, value] : after) {
        const auto found = before.find(path);
        if (found == before.end() || found->second != value) changes[path] = value;
    }
    for (const auto& [path, value] : before) {
        if (!after.count(path)) changes[path] = "<gone>";
    }
    return changes;
}

struct SceneCase {
    const char* label;
    void (*build)(const Workspace& work);
    std::vector<std::string> args;  // "{dir}" stands for the work folder
    int exitStatus;
    std::string log;  // "{dir}" stands for the work folder
    std::string err;
    Tree changes;  // below the work folder, the log file left out
    std::optional<rlim_t> fileSizeLimit = {};
};

void PrintTo(const SceneCase& c, std::ostream* os) {
    *os << c.label;
}

class SceneRun : public testing::TestWithParam<SceneCase> {};

TEST_P(SceneRun, LogsAndChangesExactlyWhatIsExpected) {
    const SceneCase& c = GetParam();
    const Workspace work;
    c.build(work);
    const Tree before = ReadTree(work.Dir());
    std::vector<std::string> args = {"--log", "run.log"};
    for (const std::string& arg : c.args) args.push_back(WithWorkDir(arg, work.Dir()));
    ProcessOptions options;
    options.fileSizeLimit = c.fileSizeLimit;

    const ProcessResult result = work.Run(args, options);

    EXPECT_EQ(result.exitStatus, c.exitStatus);
    const std::string log = WithWorkDir(c.log, work.Dir());
    EXPECT_EQ(result.out, log);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(log));
    Tree after = ReadTree(work.Dir());
    after.erase("run.log");
    EXPECT_EQ(TreeDifferences(c.changes, Changes(before, after)), "");
}

const std::string kOutside =
    "the file lies outside the site root and is not read; choose a higher folder as the site "
    "root if it belongs to the site";
const std::string kLinkedOutside =
    "the file lies outside the site root (a link leads out of it) and is not read; "
    "choose a higher folder as the site root if it belongs to the site";
const std::string kUtf16 = "the file starts with a UTF-16 byte-order mark; save it as UTF-8 or GBK to convert it";

INSTANTIATE_TEST_SUITE_P(
    Sites, SceneRun,
    testing::Values(
        // a.JSP sorts first (equal when upper-cased, then "J" before "j"); it fails, and its output still blocks
        // a.jsp.
        SceneCase{"PagesDifferingOnlyInCaseShareOneOutputAndTheSecondFails",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "a.JSP", std::string("\xFE\xFF\0<", 4));
                      WriteFile(work.Site() / "a.jsp", "second\r\n");
                  },
                  {"site", "out"},
                  1,
                  Started("site/a.JSP") + Warning("site/a.JSP", kUtf16) + Failed("site/a.JSP", kUtf16) +
                      Started("site/a.jsp") +
                      Failed("site/a.jsp",
                             "an earlier page of this run was already written to out/a.html (names that differ "
                             "only in letter case, or end alike, map to one output file)") +
                      Summary(2, 0, 2, 2),
                  Finished(0, 2),
                  {}},
        // "新.jsp" and "闻.inc" named in GBK bytes on disk, the include named in GBK too. Bytes that are not UTF-8
        // appear in the log as \xNN, so the log stays valid UTF-8.
        SceneCase{"GbkFileNamesFromAWindowsArchive",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "\xD0\xC2.jsp", "<%@ include file=\"\xCE\xC5.inc\" %>\r\n");
                      WriteFile(work.Site() / "\xCE\xC5.inc", "wen\r\n");
                  },
                  {"site", "out"},
                  0,
                  Started("site/\\xD0\\xC2.jsp") + Generated("out/\\xD0\\xC2.html") + Summary(1, 1, 0, 0),
                  Finished(1, 0),
                  {{"out/\xD0\xC2.html", "\r\nwen\r\n"}}},
        // Control characters and invalid UTF-8 in names, one forging a log line: one line per page start and per
        // page written, every name escaped.
        SceneCase{"ControlCharactersAndInvalidBytesInNames",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "bad\xFF\xFE.jsp", "invalid name\r\n");
                      WriteFile(work.Site() / "evil\r\n>>生成x成功！.jsp", "forged\r\n");
                      WriteFile(work.Site() /
                                    "tab\tand\x1B"
                                    "escape.jsp",
                                "tab\r\n");
                      WriteFile(work.Site() / "dir\xC0\xAF" / "p.jsp", "below\r\n");
                  },
                  {"site", "out"},
                  0,
                  Started("site/bad\\xFF\\xFE.jsp") + Generated("out/bad\\xFF\\xFE.html") +
                      Started("site/evil\\x0D\\x0A>>生成x成功！.jsp") +
                      Generated("out/evil\\x0D\\x0A>>生成x成功！.html") + Started("site/tab\\x09and\\x1Bescape.jsp") +
                      Generated("out/tab\\x09and\\x1Bescape.html") + Started("site/dir\\xC0\\xAF/p.jsp") +
                      Generated("out/dir\\xC0\\xAF/p.html") + Summary(4, 4, 0, 0),
                  Finished(4, 0),
                  {{"out/bad\xFF\xFE.html", "invalid name\r\n"},
                   {"out/evil\r\n>>生成x成功！.html", "forged\r\n"},
                   {"out/tab\tand\x1B"
                    "escape.html",
                    "tab\r\n"},
                   {"out/dir\xC0\xAF", "<folder>"},
                   {"out/dir\xC0\xAF/p.html", "below\r\n"}}},
        // Every byte value, and a page of NULs: bytes pass through, only line ends change.
        SceneCase{"BinaryPagesPassThrough",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "bytes.jsp", AllBytes());
                      WriteFile(work.Site() / "zeros.jsp", std::string(100000, '\0'));
                  },
                  {"site", "out"},
                  0,
                  Started("site/bytes.jsp") + Generated("out/bytes.html") + Started("site/zeros.jsp") +
                      Generated("out/zeros.html") + Summary(2, 2, 0, 0),
                  Finished(2, 0),
                  {{"out/bytes.html", AllBytesConverted()}, {"out/zeros.html", std::string(100000, '\0') + "\r\n"}}},
        SceneCase{"MissingOutputRootFailsEveryPageWithTheSystemsReason",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "a.jsp", "a");
                      WriteFile(work.Site() / "sub" / "b.jsp", "b");
                  },
                  {"site", "nosuch"},
                  1,
                  Started("site/a.jsp") + Failed("site/a.jsp", "No such file or directory") +
                      Started("site/sub/b.jsp") + Failed("site/sub/b.jsp", "No such file or directory") +
                      Summary(2, 0, 2, 2),
                  "quernfold-cli: nosuch does not exist (use --mkdir to create it)\n" + Finished(0, 2),
                  {}},
        // Pages of 300 lines (5,100 bytes out) against a limit of 4,096 bytes; the small page fits. What was
        // written before the failure stays, as for any failed page, whichever file was being copied.
        SceneCase{"WriteBeyondTheFileSizeLimitFailsThePage",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "a_small.jsp", "small\n");
                      WriteFile(work.Site() / "big.jsp", NumberedLines(100, 400, ".jsp", "\n"));
                      WriteFile(work.Site() / "incl.jsp", "<%@ include file=\"inc/big.txt\" %>\n");
                      WriteFile(work.Site() / "inc" / "big.txt", NumberedLines(100, 400, ".jsp", "\n"));
                  },
                  {"site", "out"},
                  1,
                  Started("site/a_small.jsp") + Generated("out/a_small.html") + Started("site/big.jsp") +
                      Failed("site/big.jsp", "File too large") + Started("site/incl.jsp") +
                      Failed("site/incl.jsp", "File too large") + Summary(3, 1, 2, 2),
                  Finished(1, 2),
                  // Nothing half-written is published.
                  {{"out/a_small.html", "small\r\n"}},
                  4096},
        // Link loops end, each real folder is walked once, FIFOs and broken links are skipped, a link out of the
        // site is not listed; an include through a looping link resolves, an include that is a FIFO is a warning.
        SceneCase{"LinksFifosAndLoopsNeitherHangNorRepeat",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "a.jsp", "a");
                      WriteFile(work.Site() / "sub" / "b.jsp",
                                "b\r\n<%@ include file=\"up/sub/up/inc.txt\" %>\r\n"
                                "<%@ include file=\"/pipe.inc\" %>\r\n");
                      WriteFile(work.Site() / "inc.txt", "included\r\n");
                      WriteFile(work.Dir() / "elsewhere" / "x.jsp", "outside");
                      fs::create_directory_symlink("..", work.Site() / "sub" / "up");
                      fs::create_directory_symlink(".", work.Site() / "loop");
                      fs::create_symlink("a.jsp", work.Site() / "link.jsp");
                      fs::create_symlink("nowhere.jsp", work.Site() / "dead.jsp");
                      fs::create_symlink("y.jsp", work.Site() / "x.jsp");
                      fs::create_symlink("x.jsp", work.Site() / "y.jsp");
                      fs::create_symlink("../elsewhere/x.jsp", work.Site() / "escape.jsp");
                      ASSERT_EQ(::mkfifo((work.Site() / "fifo.jsp").c_str(), 0644), 0);
                      ASSERT_EQ(::mkfifo((work.Site() / "pipe.inc").c_str(), 0644), 0);
                  },
                  {"site", "out"},
                  1,
                  Started("site/a.jsp") + Generated("out/a.html") + Started("site/link.jsp") +
                      Generated("out/link.html") + Started("site/sub/b.jsp") +
                      Warning("site/pipe.inc", "not a regular file") + Generated("out/sub/b.html") +
                      Summary(3, 3, 0, 1),
                  Finished(3, 0),
                  {{"out/a.html", "a\r\n"},
                   {"out/link.html", "a\r\n"},
                   {"out/sub", "<folder>"},
                   {"out/sub/b.html", "b\r\n\r\nincluded\r\n\r\n"}}},
        // Includes whose real place is outside the site through a link are refused unread; a link that stays
        // inside is followed; the walk lists no page outside the site, nor leaves out one inside it.
        SceneCase{
            "IncludeLinksLeadingOutOfTheSiteAreNotRead",
            [](const Workspace& work) {
                WriteFile(work.Dir() / "outside" / "secret.txt", "SECRET\r\n");
                WriteFile(work.Dir() / "outside" / "evil.jsp", "EVIL\r\n");
                WriteFile(work.Site() / "a.jsp",
                          "a\r\n<%@ include file=\"inc/abs.inc\" %>\r\n<%@ include file=\"inc/rel.inc\" %>\r\n"
                          "<%@ include file=\"outdir/secret.txt\" %>\r\n<%@ include file=\"inc/in.inc\" %>\r\n");
                WriteFile(work.Site() / "in.txt", "inside\r\n");
                fs::create_directories(work.Site() / "inc");
                fs::create_symlink(work.Dir() / "outside" / "secret.txt", work.Site() / "inc" / "abs.inc");
                fs::create_symlink("../../outside/secret.txt", work.Site() / "inc" / "rel.inc");
                fs::create_directory_symlink("../outside", work.Site() / "outdir");
                fs::create_symlink(work.Site() / "in.txt", work.Site() / "inc" / "in.inc");
                fs::create_symlink("../outside/evil.jsp", work.Site() / "evil-link.jsp");
                fs::create_symlink("../site/a.jsp", work.Site() / "alias.jsp");
            },
            {"site", "out"},
            1,
            Started("site/a.jsp") + Warning("site/inc/abs.inc", kLinkedOutside) +
                Warning("site/inc/rel.inc", kLinkedOutside) + Warning("site/outdir/secret.txt", kLinkedOutside) +
                Generated("out/a.html") + Started("site/alias.jsp") + Warning("site/inc/abs.inc", kLinkedOutside) +
                Warning("site/inc/rel.inc", kLinkedOutside) + Warning("site/outdir/secret.txt", kLinkedOutside) +
                Generated("out/alias.html") + Summary(2, 2, 0, 6),
            Finished(2, 0),
            {{"out/a.html", "a\r\n\r\n\r\n\r\n\r\ninside\r\n"}, {"out/alias.html", "a\r\n\r\n\r\n\r\n\r\ninside\r\n"}}},
        // "../" out of the site and absolute names are refused unread; "/" names the site root; "\" separates too.
        // The site root is given as an absolute path, as the window gives it.
        SceneCase{"DotDotAndAbsoluteIncludesStayInsideTheSite",
                  [](const Workspace& work) {
                      WriteFile(work.Dir() / "outside" / "secret.txt", "SECRET\r\n");
                      WriteFile(work.Site() / "news" / "a.jsp",
                                "a\r\n<%@ include file=\"../../outside/secret.txt\" %>\r\n"
                                "<%@ include virtual=\"/../outside/secret.txt\" %>\r\n"
                                "<%@ include file=\"../../../../../../../../etc/passwd\" %>\r\n"
                                "<%@ include virtual=\"/etc/passwd\" %>\r\n<%@ include file=\"/inc/h.inc\" %>\r\n"
                                "<%@ include file=\"..\\inc\\h.inc\" %>\r\n");
                      WriteFile(work.Site() / "inc" / "h.inc", "H\r\n");
                  },
                  {"{dir}/site", "out"},
                  1,
                  Started("{dir}/site/news/a.jsp") + Warning("{dir}/outside/secret.txt", kOutside) +
                      Warning("{dir}/outside/secret.txt", kOutside) + Warning("/etc/passwd", kOutside) +
                      Warning("{dir}/site/etc/passwd", "No such file or directory") + Generated("out/news/a.html") +
                      Summary(1, 1, 0, 4),
                  Finished(1, 0),
                  {{"out/news", "<folder>"}, {"out/news/a.html", "a\r\n\r\n\r\n\r\n\r\n\r\nH\r\n\r\nH\r\n"}}},
        // A link at an output file's path is replaced, not written through; a link at an output folder fails the
        // page.
        SceneCase{"LinksPlantedInTheOutputAreNotWrittenThrough",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "a.jsp", "A\r\n");
                      WriteFile(work.Site() / "sub" / "b.jsp", "B\r\n");
                      WriteFile(work.Dir() / "victim.txt", "precious\r\n");
                      fs::create_directories(work.Dir() / "elsewhere");
                      fs::create_symlink(work.Dir() / "victim.txt", work.Out() / "a.html");
                      fs::create_directory_symlink(work.Dir() / "elsewhere", work.Out() / "sub");
                  },
                  {"site", "out"},
                  1,
                  Started("site/a.jsp") + Generated("out/a.html") + Started("site/sub/b.jsp") +
                      Failed("site/sub/b.jsp", "the output folder out/sub is a link, which is not followed") +
                      Summary(2, 1, 1, 1),
                  Finished(1, 1),
                  {{"out/a.html", "A\r\n"}}},
        // Output into the site with another type: inc/c.html, read as an include, is not replaced by the output of
        // inc/c.jsp.
        // A file standing at a page's output path is that page's earlier output: an include that names it reads
        // the page instead, and the page replaces it.
        SceneCase{"OutputIntoTheSiteReadsPagesForTheirEarlierOutputs",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "a.jsp",
                                "A\r\n<%@ include file=\"b.jsp\" %>\r\n<%@ include file=\"inc/c.html\" %>\r\n");
                      WriteFile(work.Site() / "b.jsp", "B\r\n");
                      WriteFile(work.Site() / "inc" / "c.html", "C\r\n");
                      WriteFile(work.Site() / "inc" / "c.jsp", "page C\r\n");
                  },
                  {"site", "site"},
                  0,
                  Started("site/a.jsp") + Generated("site/a.html") + Started("site/b.jsp") + Generated("site/b.html") +
                      Started("site/inc/c.jsp") + Generated("site/inc/c.html") + Summary(3, 3, 0, 0),
                  Finished(3, 0),
                  {{"site/a.html", "A\r\n\r\nB\r\n\r\npage C\r\n"},
                   {"site/b.html", "B\r\n"},
                   {"site/inc/c.html", "page C\r\n"}}},
        // Whatever the order of the pages: the page converted later reads b.html as b.jsp too.
        SceneCase{"EarlierOutputIsReadAsItsPageByALaterPage",
                  [](const Workspace& work) {
                      WriteFile(work.Site() / "b.html", "an earlier run\r\n");
                      WriteFile(work.Site() / "b.jsp", "page b\r\n");
                      WriteFile(work.Site() / "z.jsp", "z\r\n<%@ include file=\"b.html\" %>\r\n");
                  },
                  {"site", "site"},
                  0,
                  Started("site/b.jsp") + Generated("site/b.html") + Started("site/z.jsp") + Generated("site/z.html") +
                      Summary(2, 2, 0, 0),
                  Finished(2, 0),
                  {{"site/b.html", "page b\r\n"}, {"site/z.html", "z\r\n\r\npage b\r\n"}}}),
    [](const testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------------------------

TEST(CliRun, BundledExampleConvertsCleanly) {
    const Workspace work;
    CopyTree(fs::path(QUERNFOLD_EXAMPLE_SITE), work.Site());
    const ProcessResult result = work.Run({"site", "out"});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_NE(result.out.find(Summary(8, 8, 0, 0)), std::string::npos) << result.out;
}

TEST(CliRun, VersionAndHelpGoToStdout) {
    const Workspace work;
    const ProcessResult version = work.Run({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "quernfold-cli 1.0.0\n");
    EXPECT_EQ(version.err, "");
    const ProcessResult help = work.Run({"-h"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("Usage: quernfold-cli [OPTIONS] SITE_ROOT OUTPUT_DIR\n", 0), 0u);
    EXPECT_EQ(help.err, "");
}

// ---------------------------------------------------------------------------------------------------------------
// Generated sites: pages converted at once give the one-by-one result; a run stopped by a signal leaves only
// whole pages and no debris.

/**
 * pages pages, 100 to a folder, all including one header that includes another; every warnEvery-th page (0:
 * none) also names a missing include, and page 57 is larger than what a worker holds in memory.
 */
std::string PageName(int i) {
    std::string digits = std::to_string(i);
    return "p" + std::string(4 - std::min<std::size_t>(4, digits.size()), '0') + digits;
}

void GenerateSite(const fs::path& site, int pages, int warnEvery) {
    WriteFile(site / "inc" / "head.inc", "<title>t</title>\r\n<%@ include file=\"/inc/nav.inc\" %>\r\n");
    WriteFile(site / "inc" / "nav.inc", "<a href=\"/index.jsp\">home</a>\n");
    for (int i = 0; i < pages; ++i) {
        std::string page = "<%@ include file=\"/inc/head.inc\" %>\r\n<p>page " + std::to_string(i) + " <a href=\"" +
                           PageName(i + 1) + ".jsp\">next</a></p>\r\n<% int x = " + std::to_string(i) + "; %>\r\n";
        if (warnEvery > 0 && i % warnEvery == warnEvery - 1) page += "<%@ include file=\"missing.inc\" %>\r\n";
        if (i == 57) {
            for (int line = 0; line < 40000; ++line) page += "a long page line " + std::to_string(line) + ".jsp\r\n";
        }
        WriteFile(site / ("s" + std::to_string(i / 100)) / (PageName(i) + ".jsp"), page);
    }
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

TEST(JobsRun, GeneratedSiteStoppedAtTheWarningLimitGivesTheSameTreeAndLogWhateverTheJobs) {
    // The tenth warning comes from page 129 of 200: workers have converted pages beyond it by then.
    struct Outcome {
        ProcessResult result;
        Tree tree;
        std::string logFile;
    };
    std::vector<Outcome> outcomes;
    for (const char* jobs : {"1", "4"}) {
        const Workspace work;
        GenerateSite(work.Site(), 200, 13);
        Outcome outcome{work.Run({"--jobs", jobs, "--log", "run.log", "site", "out"}), ReadTree(work.Out()),
                        ReadFile(work.Dir() / "run.log")};
        EXPECT_EQ(LeftoverTemporaryFiles(work.Dir()), "") << jobs;
        outcomes.push_back(std::move(outcome));
    }
    const Outcome& one = outcomes[0];
    EXPECT_EQ(one.result.exitStatus, 1);
    EXPECT_EQ(one.result.err, kTooMany + Finished(130, 0));
    EXPECT_EQ(CountOf(one.result.out, "开始转换:"), 130u);
    EXPECT_NE(
        one.result.out.find(Started("site/s1/p0129.jsp") + Warning("site/s1/missing.inc", "No such file or directory") +
                            Generated("out/s1/p0129.html") + Summary(130, 130, 0, 10)),
        std::string::npos);
    std::size_t files = 0;
    for (const auto& [path, bytes] : one.tree) files += bytes != "<folder>";
    EXPECT_EQ(files, 130u);                                                // the pages up to the stop, nothing after it
    EXPECT_GT(one.tree.at("s0/p0057.html").size(), std::size_t{1} << 20);  // more than a worker holds

    const Outcome& four = outcomes[1];
    EXPECT_EQ(four.result.exitStatus, one.result.exitStatus);
    EXPECT_EQ(four.result.err, one.result.err);
    EXPECT_EQ(four.result.out, one.result.out);
    EXPECT_EQ(four.logFile, one.logFile);
    EXPECT_EQ(TreeDifferences(one.tree, four.tree), "");
}

struct SignalCase {
    const char* label;
    int signalNumber;
    const char* jobs;
    bool twice;  // a second signal right after the first: the program ends at once
};

class StopBySignal : public testing::TestWithParam<SignalCase> {
protected:
    static constexpr int kPages = 2000;

    // One full run of the generated site, for every case to compare with.
    static void SetUpTestSuite() {
        const Workspace full;
        GenerateSite(full.Site(), kPages, 0);
        s_fullRun = new ProcessResult(full.Run({"site", "out"}));
        s_fullTree = new Tree(ReadTree(full.Out()));
    }
    static void TearDownTestSuite() {
        delete s_fullRun;
        delete s_fullTree;
    }
    static ProcessResult* s_fullRun;
    static Tree* s_fullTree;
};

ProcessResult* StopBySignal::s_fullRun = nullptr;
Tree* StopBySignal::s_fullTree = nullptr;

TEST_P(StopBySignal, LeavesWholePagesTheSummaryAndNoDebris) {
    const SignalCase& c = GetParam();
    const ProcessResult& fullRun = *s_fullRun;
    ASSERT_EQ(fullRun.exitStatus, 0);
    const Tree& fullTree = *s_fullTree;

    const Workspace work;
    GenerateSite(work.Site(), kPages, 0);
    ProcessOptions options;
    options.whileRunning = [&c](pid_t pid, const fs::path& stdoutFile) {
        // Signalled once some pages are written; the polling only waits, nothing is timed.
        for (;;) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid) {
                return;  // it ended first: the exit status check below fails
            }
            if (fs::exists(stdoutFile) && CountOf(ReadFile(stdoutFile), ">>生成") >= 20) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, c.signalNumber);
        if (c.twice) ::kill(pid, c.signalNumber);
    };
    const ProcessResult stopped = work.Run({"--jobs", c.jobs, "--log", "run.log", "site", "out"}, options);

    EXPECT_EQ(stopped.exitStatus, 128 + c.signalNumber);
    const Tree stoppedTree = ReadTree(work.Out());
    // Every page that stands under its own name is whole.
    for (const auto& [path, bytes] : stoppedTree) {
        if (IsTemporaryName(path) && c.twice) continue;
        ASSERT_TRUE(fullTree.count(path)) << path;
        EXPECT_EQ(bytes, fullTree.at(path)) << path;
    }
    if (!c.twice) {
        const std::size_t converted = CountOf(stopped.out, ">>生成");
        const std::string ending =
            "转换已被用户中止\n" + Summary(static_cast<int>(converted), static_cast<int>(converted), 0, 0);
        ASSERT_GE(stopped.out.size(), ending.size());
        EXPECT_EQ(stopped.out.substr(stopped.out.size() - ending.size()), ending);
        // Right before the stop line: the last page's result, or the abandoned page's opening lines.
        const std::string beforeStop = stopped.out.substr(0, stopped.out.size() - ending.size());
        const std::size_t lastLine = beforeStop.rfind('\n', beforeStop.size() - 2);
        const std::string last = beforeStop.substr(lastLine + 1);
        EXPECT_TRUE(last.rfind(">>生成", 0) == 0 || last.rfind("开始转换:", 0) == 0) << last;
        EXPECT_EQ(stopped.err, "");  // no final message after a stop
        EXPECT_EQ(ReadFile(work.Dir() / "run.log"), LogTextFromLines(stopped.out));
        EXPECT_EQ(LeftoverTemporaryFiles(work.Dir()), "");
        // Exactly the pages logged as generated, and no folder of an abandoned page.
        std::size_t files = 0;
        for (const auto& [path, bytes] : stoppedTree) {
            if (bytes == "<folder>") {
                EXPECT_NE(stoppedTree.upper_bound(path + "/"), stoppedTree.end()) << "empty folder " << path;
            } else {
                ++files;
            }
        }
        EXPECT_EQ(files, converted);
    }

    // The next run converts normally.
    const ProcessResult again = work.Run({"site", "out"});
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_EQ(again.out, fullRun.out);
    Tree againTree = ReadTree(work.Out());
    if (c.twice) std::erase_if(againTree, [](const auto& entry) { return IsTemporaryName(entry.first); });
    EXPECT_EQ(TreeDifferences(fullTree, againTree), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, StopBySignal,
                         testing::Values(SignalCase{"SighupOneByOne", SIGHUP, "1", false},
                                         SignalCase{"SighupWithWorkers", SIGHUP, "4", false},
                                         SignalCase{"SigintOneByOne", SIGINT, "1", false},
                                         SignalCase{"SigtermOneByOne", SIGTERM, "1", false},
                                         SignalCase{"SigintWithWorkers", SIGINT, "4", false},
                                         SignalCase{"SigtermWithWorkers", SIGTERM, "4", false},
                                         SignalCase{"SecondSigintEndsAtOnce", SIGINT, "4", true}),
                         [](const testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------------------------
// Command-line manners: the output folder, -q, the warning limit, --dry-run, the order of errors and --help.

struct MannerCase {
    const char* label;
    std::vector<std::string> args;
    int exitStatus;
    std::string err;
    std::optional<std::string> out;  // nullopt: not checked
    std::vector<std::string> exist;  // paths (below the work folder) there afterwards
    std::vector<std::string> absent;
    std::vector<std::string> extraPages = {};  // more pages of the site
};

class CliManners : public testing::TestWithParam<MannerCase> {};

TEST_P(CliManners, GiveTheRightStatusTextAndFiles) {
    const MannerCase& c = GetParam();
    // a.jsp warns once; five more pages each warn once; a file stands where a folder might be asked for.
    const Workspace work;
    WriteFile(work.Site() / "a.jsp", "<%@ include file=\"none.inc\" %>A\n");
    for (int i = 1; i <= 5; ++i)
        WriteFile(work.Site() / ("p" + std::to_string(i) + ".jsp"), "<%@ include file=\"none.inc\" %>\n");
    WriteFile(work.Site() / "sub" / "b.jsp", "B\n");
    WriteFile(work.Dir() / "file", "x");
    for (const std::string& page : c.extraPages) WriteFile(work.Site() / page, "extra\n");

    const ProcessResult result = work.Run(c.args);

    EXPECT_EQ(result.exitStatus, c.exitStatus);
    EXPECT_EQ(result.err, c.err);
    if (c.out) {
        EXPECT_EQ(result.out, *c.out);
    }
    for (const std::string& path : c.exist) EXPECT_TRUE(fs::exists(work.Dir() / path)) << path;
    for (const std::string& path : c.absent) EXPECT_FALSE(fs::exists(work.Dir() / path)) << path;
    EXPECT_EQ(ReadFile(work.Dir() / "file"), "x");
    EXPECT_EQ(LeftoverTemporaryFiles(work.Dir()), "");
}

const std::string kNoSuchFile = "No such file or directory";
std::string Prefixed(const std::string& lines) {
    std::string out;
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t end = lines.find('\n', start);
        out += "quernfold-cli: " + lines.substr(start, end - start + 1);
        start = end + 1;
    }
    return out;
}
std::string AllPagesFail() {
    std::string lines;
    for (const char* page : {"a", "p1", "p2", "p3", "p4", "p5", "sub/b"}) {
        lines += Failed(std::string("site/") + page + ".jsp", kNoSuchFile);
    }
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, CliManners,
    testing::Values(
        MannerCase{"MissingOutputFolder",
                   {"--max-warnings", "0", "site", "nosuch"},
                   1,
                   "quernfold-cli: nosuch does not exist (use --mkdir to create it)\n" + Finished(0, 7),
                   {},
                   {},
                   {"nosuch"}},
        MannerCase{"MissingOutputFolderMade",
                   {"--mkdir", "site", "new/deep"},
                   1,
                   "quernfold-cli: created new/deep\n" + Finished(7, 0),
                   {},
                   {"new/deep/a.html", "new/deep/sub/b.html"},
                   {}},
        MannerCase{"OutputFolderIsAFile",
                   {"--max-warnings", "0", "site", "file"},
                   1,
                   "quernfold-cli: file is not a folder\n" + Finished(0, 7),
                   {},
                   {},
                   {}},
        MannerCase{"OutputFolderIsAFileEvenWithMkdir",
                   {"--max-warnings", "0", "--mkdir", "site", "file"},
                   1,
                   "quernfold-cli: file is not a folder\n" + Finished(0, 7),
                   {},
                   {},
                   {}},
        // -q keeps the reasons: each warning's two lines and each failed page's line, on stderr.
        MannerCase{"QuietKeepsWarnings",
                   {"-q", "--max-warnings", "2", "site", "out"},
                   1,
                   Prefixed(Warning("site/none.inc", kNoSuchFile) + Warning("site/none.inc", kNoSuchFile)) + kTooMany +
                       Finished(2, 0),
                   "",
                   {"out/a.html", "out/p1.html"},
                   {"out/p2.html"}},
        MannerCase{"QuietKeepsFailures",
                   {"-q", "--max-warnings", "0", "site", "nosuch"},
                   1,
                   Prefixed(AllPagesFail()) + "quernfold-cli: nosuch does not exist (use --mkdir to create it)\n" +
                       Finished(0, 7),
                   "",
                   {},
                   {"nosuch"}},
        MannerCase{
            "NoWarningLimit", {"--max-warnings", "0", "site", "out"}, 1, Finished(7, 0), {}, {"out/sub/b.html"}, {}},
        MannerCase{"WarningLimitOfThree",
                   {"--max-warnings", "3", "site", "out"},
                   1,
                   kTooMany + Finished(3, 0),
                   {},
                   {"out/p2.html"},
                   {"out/p3.html", "out/sub"}},
        MannerCase{"DryRunWritesNothing",
                   {"-n", "site", "nosuch"},
                   0,
                   "",
                   "site/a.jsp -> nosuch/a.html\nsite/p1.jsp -> nosuch/p1.html\nsite/p2.jsp -> nosuch/p2.html\n"
                   "site/p3.jsp -> nosuch/p3.html\nsite/p4.jsp -> nosuch/p4.html\nsite/p5.jsp -> nosuch/p5.html\n"
                   "site/sub/b.jsp -> nosuch/sub/b.html\n",
                   {},
                   {"nosuch"}},
        MannerCase{"DryRunOntoTheSources",
                   {"--dry-run", "-T", "jsp", "site", "site"},
                   0,
                   "",
                   "site/a.jsp -> site/a.jsp (is a source file)\nsite/p1.jsp -> site/p1.jsp (is a source file)\n"
                   "site/p2.jsp -> site/p2.jsp (is a source file)\nsite/p3.jsp -> site/p3.jsp (is a source file)\n"
                   "site/p4.jsp -> site/p4.jsp (is a source file)\nsite/p5.jsp -> site/p5.jsp (is a source file)\n"
                   "site/sub/b.jsp -> site/sub/b.jsp (is a source file)\n",
                   {},
                   {}},
        MannerCase{"DryRunCollisions",
                   {"-n", "-t", "jsp", "-T", "x", "site", "o"},
                   0,
                   "",
                   "site/a.JSP -> o/a.x\nsite/a.jsp -> o/a.x (collides with site/a.JSP)\nsite/p1.jsp -> o/p1.x\n"
                   "site/p2.jsp -> o/p2.x\nsite/p3.jsp -> o/p3.x\nsite/p4.jsp -> o/p4.x\nsite/p5.jsp -> o/p5.x\n"
                   "site/sub/b.jsp -> o/sub/b.x\n",
                   {},
                   {"o"},
                   {"a.JSP"}},
        MannerCase{"DryRunRefusal", {"-n", "site", " "}, 2, "quernfold-cli: 未指定转换结果存放目录！\n", "", {}, {}},
        // The dry run is the run's first phase: it refuses what the run refuses, with the run's words.
        MannerCase{"DryRunRefusesATypeTheRunRefuses",
                   {"-n", "-T", "../x", "site", "o"},
                   2,
                   "quernfold-cli: 转换类型或网页类型无效！\n",
                   "",
                   {},
                   {"o"}},
        MannerCase{"RunRefusesATypeAsTheDryRunDoes",
                   {"-T", "../x", "site", "o"},
                   2,
                   "quernfold-cli: 转换类型或网页类型无效！\n",
                   "",
                   {},
                   {"o"}},
        MannerCase{"DryRunRefusesASideOutputThatIsAPage",
                   {"-n", "--log", "site/a.jsp", "site", "o"},
                   2,
                   "quernfold-cli: the file site/a.jsp is not written: it is a page of the site\n",
                   "",
                   {"site/a.jsp"},
                   {"o"}},
        MannerCase{"ErrorBeforeHelpWins",
                   {"--bogus", "-h"},
                   2,
                   "quernfold-cli: unknown option '--bogus'\nTry 'quernfold-cli --help' for more information.\n",
                   "",
                   {},
                   {}},
        MannerCase{"ErrorBeforeVersionWins",
                   {"--jobs", "0", "--version"},
                   2,
                   "quernfold-cli: --jobs needs a number from 1 to 1024, not '0'\n"
                   "Try 'quernfold-cli --help' for more information.\n",
                   "",
                   {},
                   {}},
        MannerCase{"HelpBeforeErrorWins", {"-h", "--bogus"}, 0, "", std::nullopt, {}, {}}),
    [](const testing::TestParamInfo<MannerCase>& info) { return std::string(info.param.label); });

TEST(CliManners, ReaderOfTheLogGoingAwayStopsTheLinesNotTheRun) {
    const Workspace work;
    GenerateSite(work.Site(), 300, 0);
    // "head -c 0" reads nothing and exits: every write to the pipe fails with EPIPE.
    const ProcessResult result = RunProcess(
        "/bin/bash", {"-c", "\"$0\" --log run.log site out | head -c 0; exit ${PIPESTATUS[0]}", QUERNFOLD_CLI},
        ProcessOptions{work.Dir(), std::nullopt, nullptr});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, Finished(300, 0));
    EXPECT_EQ(CountOf(ReadFile(work.Dir() / "run.log"), ">>生成"), 300u);
    std::size_t files = 0;
    for (const auto& [path, bytes] : ReadTree(work.Out())) files += bytes != "<folder>";
    EXPECT_EQ(files, 300u);

    // A short log is written at the end, when stdout is flushed for a text on stderr: the status is still the
    // run's (1: stopped at the warning limit), whatever the number of workers.
    const Workspace small("warnings");
    for (const char* jobs : {"1", "4"}) {
        const ProcessResult gone = RunProcess(
            "/bin/bash", {"-c", "\"$0\" --jobs \"$1\" site out | head -c 0; exit ${PIPESTATUS[0]}", QUERNFOLD_CLI, jobs},
            ProcessOptions{small.Dir(), std::nullopt, nullptr});
        EXPECT_EQ(gone.exitStatus, 1) << jobs << gone.err;
        EXPECT_EQ(gone.err.find("cannot write the log"), std::string::npos) << jobs << gone.err;
    }
}

// A side output naming a descriptor is written through it, where it stands; a link to a regular file stays a link
// and the file it leads to is replaced; with --mkdir, side outputs may lie in the folder it makes.
TEST(CliManners, SideOutputsThroughDescriptorsLinksAndNewFolders) {
    const Workspace work("basic");
    const std::string log = ReadFile(kData / "basic" / "expected.log");
    for (const char* name : {"/dev/fd/1", "/proc/self/fd/1"}) {
        const ProcessResult result =
            RunProcess("/bin/bash", {"-c", "{ echo before; \"$0\" -q --log \"$1\" site out; } > captured", QUERNFOLD_CLI, name},
                       ProcessOptions{work.Dir(), std::nullopt, nullptr});
        EXPECT_EQ(result.exitStatus, 0) << name << result.err;
        EXPECT_EQ(ReadFile(work.Dir() / "captured"), "before\n" + LogTextFromLines(log)) << name;
    }

    WriteFile(work.Dir() / "logs" / "real.log", "earlier");
    fs::create_symlink("logs/real.log", work.Dir() / "link.log");
    EXPECT_EQ(work.Run({"-q", "--log", "link.log", "site", "out"}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(work.Dir() / "link.log"));
    EXPECT_EQ(ReadFile(work.Dir() / "logs" / "real.log"), LogTextFromLines(log));

    const ProcessResult made =
        work.Run({"-q", "--mkdir", "--log", "new/log.txt", "--report", "new/r.json", "site", "new"});
    EXPECT_EQ(made.exitStatus, 0) << made.err;
    std::string logInNew = log;
    for (std::size_t at = 0; (at = logInNew.find(">>生成out/", at)) != std::string::npos;) {
        logInNew.replace(at, std::string(">>生成out/").size(), ">>生成new/");
    }
    EXPECT_EQ(ReadFile(work.Dir() / "new" / "log.txt"), LogTextFromLines(logInNew));
    EXPECT_TRUE(fs::exists(work.Dir() / "new" / "r.json"));
}

}  // namespace
}  // namespace quernfold
