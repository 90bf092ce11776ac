// The CLI in-process: argument parsing, the sinks behind stdout, stderr and --log, and the exit statuses.

#include "cli/CliApp.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/CliArguments.h"
#include "cli/CliSinks.h"
#include "tests/cli/CliTestSupport.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ReadTree;
using test_support::Sandbox;
using test_support::WriteFile;

struct ParseCase {
    std::vector<std::string> args = {};
    std::string error = {};
    std::string siteRoot = {};
    std::string outputDir = {};
    std::string sourceType = "jsp";
    std::string outputType = "html";
    CodePageChoice codePage = CodePageChoice::Auto;
    bool quiet = false;
    std::string logFile = {};  // empty: no --log
    unsigned jobs = 0;
    std::int64_t maxWarnings = 10;
    bool makeOutputDir = false;
    bool dryRun = false;
    bool dropServerCode = false;
    bool anyCaseLinks = false;
    std::vector<std::string> localHosts = {};
};

TEST(CliArguments, ParsesOptionsAndOperands) {
    const ParseCase cases[] = {
        {.args = {"s", "o"}, .siteRoot = "s", .outputDir = "o"},
        // Operands are passed on as given: the run trims the output folder, never the site root.
        {.args = {" s ", "  o  "}, .siteRoot = " s ", .outputDir = "  o  "},
        {.args = {"-t", "asp", "-T", "htm", "s", "o"},
         .siteRoot = "s",
         .outputDir = "o",
         .sourceType = "asp",
         .outputType = "htm"},
        {.args = {"--type=asp", "--to", "htm", "s", "o"},
         .siteRoot = "s",
         .outputDir = "o",
         .sourceType = "asp",
         .outputType = "htm"},
        {.args = {"-tasp", "-Thtm", "s", "o"},
         .siteRoot = "s",
         .outputDir = "o",
         .sourceType = "asp",
         .outputType = "htm"},
        {.args = {"-qt", "asp", "s", "o"}, .siteRoot = "s", .outputDir = "o", .sourceType = "asp", .quiet = true},
        {.args = {"s", "--quiet", "o"}, .siteRoot = "s", .outputDir = "o", .quiet = true},
        {.args = {"--type", "", "s", "o"}, .siteRoot = "s", .outputDir = "o", .sourceType = ""},
        {.args = {"-e", "GB18030", "s", "o"}, .siteRoot = "s", .outputDir = "o", .codePage = CodePageChoice::Gb18030},
        {.args = {"--encoding=shift_jis", "s", "o"},
         .siteRoot = "s",
         .outputDir = "o",
         .codePage = CodePageChoice::ShiftJis},
        {.args = {"--log", "run.log", "s", "o"}, .siteRoot = "s", .outputDir = "o", .logFile = "run.log"},
        {.args = {"--log=-x.log", "s", "o"}, .siteRoot = "s", .outputDir = "o", .logFile = "-x.log"},
        {.args = {"--", "-s", "-o"}, .siteRoot = "-s", .outputDir = "-o"},
        {.args = {"-", "o"}, .siteRoot = "-", .outputDir = "o"},
        {.args = {"-j", "4", "s", "o"}, .siteRoot = "s", .outputDir = "o", .jobs = 4},
        {.args = {"--jobs=1", "--max-warnings", "0", "s", "o"}, .siteRoot = "s", .outputDir = "o", .jobs = 1,
         .maxWarnings = 0},
        {.args = {"--max-warnings=3", "--mkdir", "-n", "s", "o"},
         .siteRoot = "s",
         .outputDir = "o",
         .maxWarnings = 3,
         .makeOutputDir = true,
         .dryRun = true},
        {.args = {"--dry-run", "s", "o"}, .siteRoot = "s", .outputDir = "o", .dryRun = true},
        {.args = {"--drop-server-code", "s", "o"}, .siteRoot = "s", .outputDir = "o", .dropServerCode = true},
        {.args = {"s", "--links-any-case", "o"}, .siteRoot = "s", .outputDir = "o", .anyCaseLinks = true},
        {.args = {"--links-any-case=1", "s", "o"}, .error = "option '--links-any-case' takes no value"},
        {.args = {"--local-host", "oldbox", "s", "o", "--local-host=www.Intra"},
         .siteRoot = "s",
         .outputDir = "o",
         .localHosts = {"oldbox", "www.Intra"}},
        {.args = {"--local-host=", "s", "o"}, .error = "--local-host needs a host name, not ''"},
        {.args = {"--local-host", "a/b", "s", "o"}, .error = "--local-host needs a host name, not 'a/b'"},
        {.args = {"-j", "0", "s", "o"}, .error = "--jobs needs a number from 1 to 1024, not '0'"},
        {.args = {"-j", "1025", "s", "o"}, .error = "--jobs needs a number from 1 to 1024, not '1025'"},
        {.args = {"--jobs", "two", "s", "o"}, .error = "--jobs needs a number from 1 to 1024, not 'two'"},
        {.args = {"--max-warnings", "-1", "s", "o"}, .error = "--max-warnings needs a whole number (0: never stop), not '-1'"},
        {.args = {"--max-warnings=", "s", "o"}, .error = "--max-warnings needs a whole number (0: never stop), not ''"},
        {.args = {"--mkdir=yes", "s", "o"}, .error = "option '--mkdir' takes no value"},
        {.args = {}, .error = "SITE_ROOT and OUTPUT_DIR are both needed"},
        {.args = {"s"}, .error = "SITE_ROOT and OUTPUT_DIR are both needed"},
        {.args = {"s", "o", "x"}, .error = "too many operands: give only SITE_ROOT and OUTPUT_DIR"},
        {.args = {"--bogus", "s", "o"}, .error = "unknown option '--bogus'"},
        {.args = {"-x", "s", "o"}, .error = "unknown option '-x'"},
        {.args = {"s", "o", "-t"}, .error = "option '-t' needs a value"},
        {.args = {"s", "o", "--to"}, .error = "option '--to' needs a value"},
        {.args = {"--quiet=yes", "s", "o"}, .error = "option '--quiet' takes no value"},
        {.args = {"--log=", "s", "o"}, .error = "--log needs a file name"},
        {.args = {"-e", "latin1", "s", "o"},
         .error = "unknown encoding 'latin1' (choose auto, gbk, gb18030, big5, shift_jis or utf-8)"},
    };
    for (const ParseCase& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args) joined += "[" + arg + "]";
        SCOPED_TRACE(joined);
        const ParsedArguments parsed = ParseArguments(c.args);
        EXPECT_EQ(parsed.error, c.error);
        if (!c.error.empty()) continue;
        const CliOptions& o = parsed.options;
        EXPECT_EQ(o.choices.siteRoot, c.siteRoot);
        EXPECT_EQ(o.choices.outputDir, c.outputDir);
        EXPECT_EQ(o.choices.sourceType, c.sourceType);
        EXPECT_EQ(o.choices.outputType, c.outputType);
        EXPECT_EQ(o.choices.codePage, c.codePage);
        EXPECT_EQ(o.quiet, c.quiet);
        EXPECT_EQ(o.hasLogFile, !c.logFile.empty());
        EXPECT_EQ(o.logFile, c.logFile);
        EXPECT_EQ(o.choices.jobs, c.jobs);
        EXPECT_EQ(o.choices.maxWarnings, c.maxWarnings);
        EXPECT_EQ(o.makeOutputDir, c.makeOutputDir);
        EXPECT_EQ(o.dryRun, c.dryRun);
        EXPECT_EQ(o.choices.dropServerCode, c.dropServerCode);
        EXPECT_EQ(o.choices.anyCaseLinks, c.anyCaseLinks);
        EXPECT_EQ(o.choices.localHosts, c.localHosts);
        EXPECT_FALSE(o.help);
        EXPECT_FALSE(o.version);
    }
}

TEST(CliArguments, HelpAndVersionWinOverAMissingOperandAndLaterErrorsOnly) {
    EXPECT_TRUE(ParseArguments({"--help"}).options.help);
    EXPECT_TRUE(ParseArguments({"s", "-h", "--bogus"}).options.help);
    EXPECT_EQ(ParseArguments({"s", "-h", "--bogus"}).error, "");
    EXPECT_TRUE(ParseArguments({"--version", "a", "b", "c"}).options.version);
    // The first error on the command line wins.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus", "-h"},
                                                 std::vector<std::string>{"-j", "x", "--version"},
                                                 std::vector<std::string>{"-qz", "--help", "s", "o"}}) {
        const ParsedArguments parsed = ParseArguments(args);
        EXPECT_NE(parsed.error, "") << args[0];
        EXPECT_FALSE(parsed.options.help || parsed.options.version) << args[0];
    }
}

TEST(CliSinks, TerminalTextWritesEveryLineBreakAsNewline) {
    EXPECT_EQ(TerminalText("a\r\nb"), "a\nb");
    EXPECT_EQ(TerminalText("a\rb\nc"), "a\nb\nc");
    EXPECT_EQ(TerminalText("a\r\n\r\nb\r"), "a\n\nb\n");
    EXPECT_EQ(TerminalText("no break"), "no break");
}

TEST(CliSinks, StreamLogWritesEachLineWithNewlineAndNothingForTheClear) {
    std::ostringstream out;
    StreamLog log(out, nullptr);
    log.ClearLog();
    log.AppendLog("first");
    log.AppendLog("");
    log.AppendLog("第三");
    EXPECT_EQ(out.str(), "first\n\n第三\n");
}

TEST(CliSinks, StreamMessagesWritesTheTextAndNamesTheProgramOnRefusalsAndErrors) {
    struct Row {
        const char* title;
        const char* written;
    };
    for (const Row row : {Row{"警告", "line one\nline two\n"}, Row{"提示", "line one\nline two\n"},
                          Row{"提醒", "quernfold-cli: line one\nline two\n"},
                          Row{"出错啦", "quernfold-cli: line one\nline two\n"}}) {
        std::ostringstream err;
        StreamMessages messages(err, nullptr);
        messages.ShowMessage("line one\r\nline two", row.title, MessageIcon::Stop);
        EXPECT_EQ(err.str(), row.written) << row.title;
    }
}

TEST(CliSinks, DiagnosticsKeepEachWarningPairAndEachFailedPageOnly) {
    std::ostringstream err;
    DiagnosticsLog diagnostics(err, nullptr);
    const std::string hashes(79, '#');
    for (const std::string& line :
         {std::string(77, '='), std::string("开始转换:a.jsp...."), hashes, std::string("提取inc/x时异常：gone"),
          std::string(">>生成o/a.html成功！"), std::string(77, '='), std::string("开始转换:b.jsp...."),
          std::string("b.jsp文件转换时异常,原因为：Not a directory"),
          std::string("复制静态文件c.css时异常,原因为：Permission denied"), std::string(78, '*'),
          std::string("共转换文件2个"), std::string("复制静态文件1个，其中未变化0个，失败1个")}) {
        diagnostics.AppendLog(line);
    }
    EXPECT_EQ(err.str(), "quernfold-cli: " + hashes + "\nquernfold-cli: 提取inc/x时异常：gone\n" +
                             "quernfold-cli: b.jsp文件转换时异常,原因为：Not a directory\n" +
                             "quernfold-cli: 复制静态文件c.css时异常,原因为：Permission denied\n");
}

TEST(CliSinks, ProgressBarFitsTheTerminalAndEndsFull) {
    struct Row {
        int columns;
        long long pages;
    };
    for (const Row row : {Row{80, 40}, Row{80, 39}, Row{30, 7}, Row{200, 50000}, Row{12, 3}, Row{80, 0}}) {
        SCOPED_TRACE(std::to_string(row.columns) + " columns, " + std::to_string(row.pages) + " pages");
        std::ostringstream err;
        TerminalProgress bar(err, nullptr, row.columns);
        bar.SetRange(0, row.pages + 1);
        bar.SetVisible(true);
        for (long long page = 1; page <= row.pages; ++page) bar.SetValue(page);
        const std::string drawn = err.str();
        const std::string last = drawn.substr(drawn.rfind('\r') + 1);
        const std::string cells = last.substr(1, last.find(']') - 1);
        EXPECT_EQ(last.substr(last.find(']')), "] " + std::to_string(row.pages) + "/" + std::to_string(row.pages));
        EXPECT_LE(last.size(), static_cast<std::size_t>(std::max(row.columns - 1, 10 + 3 + 2 + 2 * 5)));
        EXPECT_GE(cells.size(), 10u);
        // Every cell filled once every page is done (none when there is no page).
        EXPECT_EQ(cells, std::string(cells.size(), row.pages > 0 ? '#' : '.'));
    }
}

TEST(CliSinks, LogFileHasTheSavedLogFormAndAppearsOnlyWhenPublished) {
    const Sandbox dir;
    const fs::path path = dir.Root() / "run.log";
    WriteFile(path, "earlier");
    {
        LogFileWriter writer(path.string());
        writer.ClearLog();
        writer.AppendLog("one");
        writer.AppendLog("");
        writer.AppendLog("两");
        EXPECT_EQ(ReadFile(path), "earlier");  // streamed beside it until the run is over
        EXPECT_EQ(writer.Finish(), std::nullopt);
    }
    EXPECT_EQ(ReadFile(path), "\r\none\r\n\r\n两");
    EXPECT_EQ(ReadTree(dir.Root()).size(), 1u);
}

TEST(CliSinks, LogFileOfARunThatNeverStartedLeavesTheEarlierFile) {
    const Sandbox dir;
    const fs::path path = dir.Root() / "run.log";
    WriteFile(path, "earlier");
    {
        LogFileWriter writer(path.string());
        EXPECT_EQ(writer.Finish(), std::nullopt);
    }
    EXPECT_EQ(ReadFile(path), "earlier");
    EXPECT_EQ(ReadTree(dir.Root()).size(), 1u);
}

TEST(CliSinks, LogFileWriteFailureIsReportedByFinishNotThrownIntoTheRun) {
    LogFileWriter writer("/dev/full");
    writer.ClearLog();
    // Far more than the write buffer, so the failure comes while lines are still being appended.
    const std::string line(64 * 1024, 'x');
    for (int i = 0; i < 8; ++i) EXPECT_NO_THROW(writer.AppendLog(line));
    EXPECT_EQ(writer.Finish(), std::optional<std::string>("No space left on device"));
}

TEST(CliExitStatus, FollowsTheOutcomeAndTheCounts) {
    struct Row {
        RunOutcome outcome;
        long long failed, warnings;
        int status;
    };
    const Row rows[] = {
        {RunOutcome::Completed, 0, 0, 0}, {RunOutcome::Completed, 1, 1, 1}, {RunOutcome::Completed, 0, 3, 1},
        {RunOutcome::Refused, 0, 0, 2},   {RunOutcome::Aborted, 0, 0, 2},
    };
    for (const Row& row : rows) {
        RunResult result;
        result.outcome = row.outcome;
        result.counts.failed = row.failed;
        result.counts.warnings = row.warnings;
        EXPECT_EQ(ExitStatusFor(result), row.status);
    }
}

/** A one-page site in a temporary folder, run in-process with absolute paths. */
class CliInProcess : public testing::Test {
protected:
    void SetUp() override {
        WriteFile(Site() / "a.jsp", "<p>a</p>\n");
        fs::create_directories(Out());
    }
    fs::path Site() const { return m_dir.Root() / "site"; }
    fs::path Out() const { return m_dir.Root() / "out"; }

    int Run(std::vector<std::string> args, bool errIsTerminal = false) {
        return RunCli(args, m_out, m_err, errIsTerminal, CliEnvironment{.columns = 40});
    }
    std::string ExpectedLog() const {
        return std::string(77, '=') + "\n开始转换:" + Site().string() + "/a.jsp....\n>>生成" + Out().string() +
               "/a.html成功！\n" + std::string(78, '*') + "\n共转换文件1个\n其中：成功1个\n      失败0个\n" +
               "转换过程中共发生0次异常警告\n" + std::string(78, '*') + "\n";
    }

    Sandbox m_dir;
    std::ostringstream m_out;
    std::ostringstream m_err;
};

const std::string kFinishedOne = "文件转换完成，成功：1个，异常：0个，详见日志!\n";

TEST_F(CliInProcess, ShowsNoProgressBarWhenStderrIsNotATerminal) {
    EXPECT_EQ(Run({Site().string(), Out().string()}), 0);
    EXPECT_EQ(m_out.str(), ExpectedLog());
    EXPECT_EQ(m_err.str(), kFinishedOne);
    EXPECT_EQ(ReadFile(Out() / "a.html"), "<p>a</p>\r\n");
}

TEST_F(CliInProcess, DrawsTheProgressBarOnATerminalAndErasesItForEveryText) {
    EXPECT_EQ(Run({Site().string(), Out().string()}, true), 0);
    EXPECT_EQ(m_out.str(), ExpectedLog());
    // 40 columns: "[", 33 cells, "] 1/1", and the last column free.
    const std::string erase = "\r" + std::string(39, ' ') + "\r";
    // Shown at 0 of 1 page, erased for the first log line, drawn full at 1 of 1, hidden, message.
    EXPECT_EQ(m_err.str(), "\r[" + std::string(33, '.') + "] 0/1" + erase + "\r[" + std::string(33, '#') + "] 1/1" +
                               erase + kFinishedOne);
}

TEST_F(CliInProcess, CountsTheStaticFilesOnTheSameBarAfterThePages) {
    WriteFile(Site() / "css/a.css", "a{}");
    WriteFile(Site() / "img/b.png", "png");
    EXPECT_EQ(Run({"-a", Site().string(), Out().string()}, true), 0);
    const std::string erase = "\r" + std::string(39, ' ') + "\r";
    const std::string err = m_err.str();
    // The page's bar full at 1 of 1, erased for "开始复制静态文件", then the files counted from 0 of 2 to 2 of 2.
    const std::size_t pagesDone = err.find("\r[" + std::string(33, '#') + "] 1/1" + erase);
    const std::size_t filesStart = err.find("\r[" + std::string(33, '.') + "] 0/2");
    ASSERT_NE(pagesDone, std::string::npos) << err;
    ASSERT_NE(filesStart, std::string::npos) << err;
    EXPECT_LT(pagesDone, filesStart);
    EXPECT_TRUE(err.ends_with("\r[" + std::string(33, '#') + "] 2/2" + erase + kFinishedOne)) << err;
    EXPECT_NE(m_out.str().find("a.html成功！\n开始复制静态文件\n"), std::string::npos) << m_out.str();
}

TEST_F(CliInProcess, LogFileThatFailsToWriteGivesTheSaveLogErrorAndStatusTwo) {
    EXPECT_EQ(Run({"--log", "/dev/full", Site().string(), Out().string()}), 2);
    EXPECT_EQ(m_out.str(), ExpectedLog());
    EXPECT_EQ(m_err.str(), kFinishedOne + "quernfold-cli: 保存日志时异常,原因为：No space left on device\n");
}

TEST_F(CliInProcess, StdoutThatCannotBeWrittenGivesStatusTwo) {
    m_out.setstate(std::ios::badbit);
    EXPECT_EQ(Run({Site().string(), Out().string()}), 2);
    EXPECT_EQ(m_err.str(), kFinishedOne + "quernfold-cli: cannot write the log to standard output\n");
}

// Standard output closed at start-up leads to /dev/null: a report sent there would be lost, so it is refused.
TEST_F(CliInProcess, ReportToAStdoutClosedAtStartUpIsRefusedWhileAPlainRunConverts) {
    const CliEnvironment closed{.stdoutClosedAtStart = true};
    EXPECT_EQ(RunCli({"--report", "-", Site().string(), Out().string()}, m_out, m_err, false, closed), 2);
    EXPECT_EQ(m_err.str(), "quernfold-cli: cannot write the report to standard output: it was closed at start-up\n");
    EXPECT_FALSE(fs::exists(Out() / "a.html"));
    m_err.str("");
    EXPECT_EQ(RunCli({Site().string(), Out().string()}, m_out, m_err, false, closed), 0);
    EXPECT_EQ(m_err.str(), kFinishedOne);
}

TEST_F(CliInProcess, QuietRunWritesNothingToStdoutEvenWhenItCannotBeWritten) {
    m_out.setstate(std::ios::badbit);
    EXPECT_EQ(Run({"-q", Site().string(), Out().string()}), 0);
    EXPECT_EQ(m_err.str(), kFinishedOne);
}

TEST_F(CliInProcess, UsageErrorsGoToStderrWithStatusTwo) {
    EXPECT_EQ(Run({"--to"}), 2);
    EXPECT_EQ(m_out.str(), "");
    EXPECT_EQ(m_err.str(),
              "quernfold-cli: option '--to' needs a value\nTry 'quernfold-cli --help' for more information.\n");
    EXPECT_EQ(ReadTree(Out()).size(), 0u);
}

TEST_F(CliInProcess, HelpListsEveryOption) {
    EXPECT_EQ(Run({"--help"}), 0);
    for (const char* option : {"-t, --type TEXT", "-T, --to TEXT", "-e, --encoding NAME", "--log FILE", "-q, --quiet",
                               "-j, --jobs N", "--max-warnings N", "--mkdir", "-n, --dry-run", "-h, --help",
                               "--version", "130 / 143", "--drop-server-code", "--links-any-case", "--local-host NAME"}) {
        EXPECT_NE(m_out.str().find(option), std::string::npos) << option;
    }
    EXPECT_EQ(m_err.str(), "");
}

}  // namespace
}  // namespace quernfold
