#include "engine/run/ConversionRun.h"
#include "engine/run/RunState.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <set>

#include "engine/log/LogText.h"
#include "engine/output/PathRules.h"
#include "tests/support/MemoryOutputTree.h"
#include "tests/support/MemorySiteFiles.h"
#include "engine/report/RunReport.h"
#include "engine/run/SettingsStore.h"
#include "engine/log/Sinks.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;

struct RecordedProgress : ProgressSink {
    std::vector<std::string> events;
    void SetRange(long long minimum, long long maximum) override {
        events.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
    }
    void SetVisible(bool visible) override { events.push_back(visible ? "show" : "hide"); }
    void SetValue(long long value) override { events.push_back("value " + std::to_string(value)); }
};

struct RecordedMessages : MessageSink {
    struct Message {
        std::string text, title;
        MessageIcon icon;
    };
    std::vector<Message> shown;
    void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
        shown.push_back({std::string(text), std::string(title), icon});
    }
};

struct RecordedSettings : SettingsStore {
    std::vector<std::string> writes;
    std::string ReadIni(std::string_view, std::string_view, std::string_view fallback) override {
        return std::string(fallback);
    }
    void WriteIni(std::string_view section, std::string_view key, std::string_view value) override {
        writes.push_back(std::string(section) + "/" + std::string(key) + "=" + std::string(value));
    }
};

class ConversionRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root / "site");
        fs::create_directories(m_root / "out");
    }

    void Write(const std::string& relative, const std::string& bytes) {
        test_support::WriteFile(m_root / "site" / relative, bytes);
    }
    static std::string Read(const fs::path& path) { return test_support::ReadFile(path); }
    RunResult Run(std::string siteRoot, std::string outputDir, std::string sourceType = "jsp",
                  std::string outputType = "html", OutputTree* output = nullptr) {
        ConversionChoices choices{std::move(siteRoot), std::move(sourceType), std::move(outputType),
                                  std::move(outputDir)};
        return Run(choices, nullptr, output);
    }
    RunResult Run(ConversionChoices choices, LogSink* logSink = nullptr, OutputTree* output = nullptr) {
        return StartConversion(choices, state, RunSinks{logSink ? *logSink : log, progress, messages, &settings, output});
    }
    // Every file below folder with its bytes, by path relative to it.
    static std::map<std::string, std::string> TreeOf(const fs::path& folder) {
        std::map<std::string, std::string> tree;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file()) tree[fs::relative(entry.path(), folder).generic_string()] = Read(entry.path());
        }
        return tree;
    }
    std::string Site() const { return (m_root / "site").string(); }
    std::string Out() const { return (m_root / "out").string(); }
    // A path below them as the run writes it: with this system's separator.
    static std::string N(std::string relative) {
        std::replace(relative.begin(), relative.end(), '/', kNativeSeparator);
        return relative;
    }

    test_support::Sandbox m_sandbox;
    fs::path m_root = m_sandbox.Root();
    RunState state;
    LogText log{"previous log"};
    RecordedProgress progress;
    RecordedMessages messages;
    RecordedSettings settings;
};

TEST_F(ConversionRunTest, EmptyOutputFolderIsRefusedAfterTheChoicesAreSaved) {
    const RunResult result = Run("", "   ", "jsp ", " htm");
    EXPECT_EQ(result.outcome, RunOutcome::Refused);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"sys/workPath=", "sys/outputDir=   ", "sys/srcType=jsp ",
                                                         "sys/outputType= htm"}));
    ASSERT_EQ(messages.shown.size(), 1u);  // the output folder is reported first
    EXPECT_EQ(messages.shown[0].text, "未指定转换结果存放目录！");
    EXPECT_EQ(messages.shown[0].title, "提醒");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Stop);
    EXPECT_EQ(log.Text(), "previous log");
    EXPECT_TRUE(progress.events.empty());
}

TEST_F(ConversionRunTest, EmptySiteRootIsRefusedInsteadOfWalkingTheWholeDisk) {
    const RunResult result = Run("  ", Out());
    EXPECT_EQ(result.outcome, RunOutcome::Refused);
    EXPECT_EQ(settings.writes.size(), 4u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "未指定网站文件根目录！");
    EXPECT_EQ(messages.shown[0].title, "提醒");
    EXPECT_EQ(log.Text(), "previous log");
}

TEST_F(ConversionRunTest, SiteRootThatCannotBeListedAbortsWithoutSummary) {
    const RunResult result = Run(Site() + N("/missing"), Out());
    EXPECT_EQ(result.outcome, RunOutcome::Aborted);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "出错啦");
    EXPECT_NE(messages.shown[0].text.find(Site() + N("/missing/")), std::string::npos);
    EXPECT_NE(messages.shown[0].text.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(log.Text(), "");  // cleared, and no summary
}

TEST_F(ConversionRunTest, NoPageFoundGivesTheSummaryAlone) {
    Run(Site(), Out());
    const std::string stars(78, '*');
    EXPECT_EQ(log.Text(), "\r\n" + stars + "\r\n共转换文件0个\r\n其中：成功0个\r\n      失败0个\r\n转换过程中共发生0次异常警告\r\n" + stars);
    EXPECT_EQ(progress.events, (std::vector<std::string>{"range 0 1", "show", "hide"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "文件转换完成，成功：0个，异常：0个，详见日志!");
    EXPECT_EQ(messages.shown[0].title, "提示");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
}

TEST_F(ConversionRunTest, PagesAreConvertedWithProgressAndTheirLines) {
    Write("a.jsp", "<a href=\"news/b.jsp\">b</a><%@ include file=\"inc/head.inc\" %>");
    Write("inc/head.inc", "HEAD");
    Write("news/b.jsp", "<% x %>B");
    const RunResult result = Run(Site(), Out() + "  ");
    EXPECT_EQ(result.outcome, RunOutcome::Completed);
    EXPECT_EQ(Read(m_root / "out/a.html"), "<a href=\"news/b.html\">b</a>\r\nHEAD\r\n");
    EXPECT_EQ(Read(m_root / "out/news/b.html"), "\r\nB\r\n");
    EXPECT_EQ(progress.events,
              (std::vector<std::string>{"range 0 3", "show", "value 1", "value 2", "hide"}));
    const std::string text = log.Text();
    EXPECT_NE(text.find("\r\n开始转换:" + Site() + N("/a.jsp....\r\n>>生成") + Out() + N("/a.html成功！\r\n")),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("共转换文件2个\r\n其中：成功2个"), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(m_root / "out")) {
        EXPECT_EQ(entry.path().filename().string().find(".quernfold-"), std::string::npos) << entry.path();
    }
}

TEST_F(ConversionRunTest, SourcePageThatFailsIsAFailureWithOneWarning) {
    Write("a.jsp", std::string("\xFF\xFE<\0", 4));
    Run(Site(), Out());
    EXPECT_EQ(state.failCount, 1);
    EXPECT_EQ(state.warningCount, 1);
    const std::string text = log.Text();
    EXPECT_NE(text.find(std::string(79, '#') + "\r\n提取" + Site() + N("/a.jsp时异常：")), std::string::npos);
    EXPECT_NE(text.find(Site() + N("/a.jsp文件转换时异常,原因为：")), std::string::npos);
    EXPECT_EQ(text.find(">>生成"), std::string::npos);
    EXPECT_EQ(messages.shown.back().text, "文件转换完成，成功：0个，异常：1个，详见日志!");
}

TEST_F(ConversionRunTest, StopAtTenWarningsCountsTheAttemptedPages) {
    for (int i = 0; i < 12; ++i) Write("p" + std::to_string(10 + i) + ".jsp", "<%@ include file=\"none.inc\" %>");
    const RunResult result = Run(Site(), Out());
    EXPECT_TRUE((result.counts.stopped == RunStop::Limit));
    EXPECT_EQ(result.counts.pages, 10);
    EXPECT_FALSE(fs::exists(m_root / "out/p20.html"));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text,
              "系统异常太多，已自动终止！\r\n可能是因为您网站根目录未定义正确，请您修改后重新进行转换！");
    EXPECT_EQ(messages.shown[0].title, "警告");
    EXPECT_EQ(messages.shown[1].text, "文件转换完成，成功：10个，异常：0个，详见日志!");
    EXPECT_NE(log.Text().find("共转换文件10个\r\n其中：成功10个\r\n      失败0个\r\n转换过程中共发生10次异常警告"),
              std::string::npos);
    EXPECT_EQ(progress.events.back(), "hide");
    EXPECT_EQ(progress.events[progress.events.size() - 2], "value 10");
}

TEST_F(ConversionRunTest, WarningLimitIsTheOneAskedFor) {
    for (int i = 0; i < 12; ++i) Write("p" + std::to_string(10 + i) + ".jsp", "<%@ include file=\"none.inc\" %>");
    struct Row {
        std::int64_t maxWarnings;
        std::int64_t attempted;
        bool stopped;
    };
    for (const Row row : {Row{0, 12, false}, Row{3, 3, true}, Row{12, 12, true}, Row{13, 12, false}}) {
        SCOPED_TRACE(row.maxWarnings);
        messages.shown.clear();
        ConversionChoices choices{Site(), "jsp", "html", Out()};
        choices.maxWarnings = row.maxWarnings;
        const RunResult result = Run(choices);
        EXPECT_EQ(result.counts.pages, row.attempted);
        EXPECT_EQ((result.counts.stopped == RunStop::Limit), row.stopped);
        // The stop's message is the same whatever the limit.
        ASSERT_EQ(messages.shown.size(), row.stopped ? 2u : 1u);
        if (row.stopped) {
            EXPECT_EQ(messages.shown[0].title, "警告");
        }
        EXPECT_EQ(fs::exists(m_root / "out/p21.html"), !row.stopped || row.attempted == 12);
        fs::remove_all(m_root / "out");
        fs::create_directories(m_root / "out");
    }
}

/** Sets the run's stop request when a given line is logged (the line still reaches the log). */
struct StopAtLine : LogSink {
    StopAtLine(LogText& log, std::atomic<bool>& stop, std::string line) : log(log), stop(stop), line(std::move(line)) {}
    LogText& log;
    std::atomic<bool>& stop;
    std::string line;
    void ClearLog() override { log.ClearLog(); }
    void AppendLog(std::string_view text) override {
        log.AppendLog(text);
        if (text == line) stop = true;
    }
};

TEST_F(ConversionRunTest, StopRequestAbandonsThePageAndEndsWithTheSummary) {
    // Page 1 warns once; page 2 lies in a folder of its own, warns, and is big enough to be read in pieces.
    Write("a.jsp", "<%@ include file=\"none.inc\" %>A");
    Write("sub/deeper/b.jsp", "<%@ include file=\"none.inc\" %>" + std::string(300 * 1024, 'b'));
    Write("zz/z.jsp", "Z");
    const std::string stars(78, '*');
    const std::string pageA = "\r\n" + std::string(77, '=') + "\r\n开始转换:" + Site() + N("/a.jsp....\r\n") +
                              std::string(79, '#') + "\r\n提取" + Site() + N("/none.inc时异常：No such file or directory") +
                              "\r\n>>生成" + Out() + N("/a.html成功！");
    const std::string pageBOpening = "\r\n" + std::string(77, '=') + "\r\n开始转换:" + Site() + N("/sub/deeper/b.jsp....");
    const std::string summaryOfA =
        "\r\n" + stars + "\r\n共转换文件1个\r\n其中：成功1个\r\n      失败0个\r\n转换过程中共发生1次异常警告\r\n" + stars;
    struct Row {
        const char* label;
        std::string stopAt;  // the log line that requests the stop
        unsigned jobs;
        std::string log;
    };
    const Row rows[] = {
        // Requested while page 2 is being converted: it keeps its two opening lines, nothing else.
        {"DuringAPage", "开始转换:" + Site() + N("/sub/deeper/b.jsp...."), 1, pageA + pageBOpening + "\r\n转换已被用户中止" + summaryOfA},
        // Requested between pages: no page is abandoned.
        {"BetweenPages", ">>生成" + Out() + N("/a.html成功！"), 1, pageA + "\r\n转换已被用户中止" + summaryOfA},
        {"BetweenPagesWithWorkers", ">>生成" + Out() + N("/a.html成功！"), 4, pageA + "\r\n转换已被用户中止" + summaryOfA},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        fs::remove_all(m_root / "out");
        fs::create_directories(m_root / "out");
        messages.shown.clear();
        state.stopRequested = false;
        StopAtLine stopper(log, state.stopRequested, row.stopAt);
        ConversionChoices choices{Site(), "jsp", "html", Out()};
        choices.jobs = row.jobs;
        const RunResult result = Run(choices, &stopper);
        EXPECT_TRUE((result.counts.stopped == RunStop::User));
        EXPECT_EQ(result.counts.pages, 1);
        EXPECT_EQ(log.Text(), row.log);
        EXPECT_TRUE(messages.shown.empty());  // no final message after a stop
        // Only page 1's file: no file, temporary file or folder of the abandoned page.
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(m_root / "out")) {
            names.push_back(entry.path().lexically_relative(m_root / "out").string());
        }
        EXPECT_EQ(names, std::vector<std::string>{"a.html"});
        EXPECT_EQ(progress.events.back(), "hide");
    }
}

// A stop requested while the static files are copied ends the copy after the current file; the line counts it.
TEST_F(ConversionRunTest, StopRequestDuringTheStaticFilesEndsThemAfterTheCurrentFile) {
    Write("a.jsp", "A");
    for (const char* file : {"css/a.css", "css/b.css", "img/c.png"}) Write(file, file);
    struct StopAfterTheFirstCopy : MemoryOutputTree {
        std::atomic<bool>* stop = nullptr;
        CopyOutcome Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) override {
            const CopyOutcome outcome = MemoryOutputTree::Copy(plan, source, rules);
            *stop = true;
            return outcome;
        }
    } tree;
    tree.stop = &state.stopRequested;
    ConversionChoices choices{Site(), "jsp", "html", Out()};
    choices.copyAssets = true;
    RunReport report;
    const RunResult result = StartConversion(choices, state, RunSinks{log, progress, messages, nullptr, &tree, &report});
    EXPECT_TRUE((result.counts.stopped == RunStop::User));
    EXPECT_EQ(report.counts.stopped, RunStop::User);
    EXPECT_EQ(report.assets.copied, std::vector<std::string>{Site() + N("/css/a.css")});
    std::vector<std::string> written;
    for (const auto& [path, bytes] : tree.Files()) written.push_back(path);
    EXPECT_EQ(written, (std::vector<std::string>{Out() + N("/a.html"), Out() + N("/css/a.css")}));
    // Logged as a stop during the pages is: the line, then the summary counting what was copied, no final box.
    const std::string stars(78, '*');
    const std::string expected = "\r\n" + std::string(77, '=') + "\r\n开始转换:" + Site() + N("/a.jsp....\r\n>>生成") +
                                 Out() + N("/a.html") + "成功！\r\n开始复制静态文件\r\n转换已被用户中止\r\n" + stars +
                                 "\r\n共转换文件1个\r\n其中：成功1个\r\n      失败0个\r\n转换过程中共发生0次异常警告\r\n"
                                 "复制静态文件1个，其中未变化0个，失败0个\r\n" + stars;
    EXPECT_EQ(log.Text(), expected);
    EXPECT_TRUE(messages.shown.empty());
    // The bar counts the pages, then the three static files on the same bar: it stops after the first.
    EXPECT_EQ(progress.events, (std::vector<std::string>{"range 0 2", "show", "value 1", "range 0 4", "value 0",
                                                         "value 1", "hide"}));
}

// The static files of a site handed in through the seam are walked, chosen and read there, with the rules of the
// disk: the allow-list, closed and hidden folders, the page that wins its output path, and the include never copied.
TEST_F(ConversionRunTest, StaticFilesOfAnInMemorySiteFollowThePublishRules) {
    if constexpr (kNativeSeparator == '\\') {
        GTEST_SKIP() << "its in-memory site and output folder are written as POSIX paths ('/' separators)";
    }
    const std::string root = "/in-memory/site/";
    MemorySiteFiles site;
    site.Add(root + "a.jsp", "<%@ include file=\"inc/head.htm\" %>A");
    site.Add(root + "inc/head.htm", "HEAD");
    site.Add(root + "a.html", "stale copy of the page");
    site.Add(root + "css/site.css", "body{}");
    site.Add(root + "img/logo.png", std::string("\x89PNG\0", 5));
    site.Add(root + "notes.txt", "not a web file");
    site.Add(root + "WEB-INF/web.xml", "<web-app/>");
    site.Add(root + "WEB-INF/secret.css", "closed");
    site.Add(root + ".git/x.css", "hidden");
    MemoryOutputTree tree;
    ConversionChoices choices{root, "jsp", "html", "/in-memory/out"};
    choices.copyAssets = true;
    RunReport report;
    const RunResult result =
        StartConversion(choices, state, RunSinks{log, progress, messages, nullptr, &tree, &report}, &site);
    ASSERT_EQ(result.outcome, RunOutcome::Completed);
    EXPECT_EQ(result.counts.staticFiles->copied, 2);
    std::map<std::string, std::string> expected{{"/in-memory/out/a.html", "\r\nHEAD\r\nA\r\n"},
                                                {"/in-memory/out/css/site.css", "body{}"},
                                                {"/in-memory/out/img/logo.png", std::string("\x89PNG\0", 5)}};
    EXPECT_EQ(tree.Files(), expected);
    std::map<std::string, std::string> skipped;
    for (const PathReason& entry : report.assets.skipped) skipped[entry.path] = entry.reason;
    EXPECT_EQ(skipped.size(), 3u);
    EXPECT_EQ(skipped.count(root + "a.html"), 1u);
    EXPECT_EQ(skipped.count(root + "inc/head.htm"), 1u);
    EXPECT_EQ(skipped.count(root + "WEB-INF/"), 1u);
    EXPECT_EQ(site.OpenCount(root + "notes.txt"), 0);
    EXPECT_EQ(site.OpenCount(root + ".git/x.css"), 0);
}

// The copy opens with a line of its own and counts every listed file on the bar, skipped ones included.
TEST_F(ConversionRunTest, StaticFilesAreAnnouncedAndCountedOnTheBar) {
    Write("a.jsp", "<%@ include file=\"inc/top.htm\" %>A");
    Write("inc/top.htm", "TOP");  // included: listed, never copied
    for (const char* file : {"css/a.css", "img/b.png"}) Write(file, file);
    ConversionChoices choices{Site(), "jsp", "html", Out()};
    choices.copyAssets = true;
    const RunResult result = Run(choices);
    EXPECT_FALSE((result.counts.stopped == RunStop::User));
    const std::string text = log.Text();
    EXPECT_NE(text.find("a.html成功！\r\n开始复制静态文件\r\n" + std::string(78, '*')), std::string::npos) << text;
    EXPECT_NE(text.find("复制静态文件2个，其中未变化0个，失败0个"), std::string::npos) << text;
    EXPECT_EQ(progress.events, (std::vector<std::string>{"range 0 2", "show", "value 1", "range 0 4", "value 0",
                                                         "value 1", "value 2", "value 3", "hide"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "文件转换完成，成功：1个，异常：0个，详见日志!");

    // Without the option the log has no such line and the bar counts the pages alone.
    progress.events.clear();
    Run(Site(), Out());
    EXPECT_EQ(log.Text().find("开始复制静态文件"), std::string::npos) << log.Text();
    EXPECT_EQ(progress.events, (std::vector<std::string>{"range 0 2", "show", "value 1", "hide"}));
}

// Saving the log again replaces an earlier log.txt, but never a file the last run read or wrote.
TEST_F(ConversionRunTest, SaveLogReplacesAnEarlierLogButNeverAFileOfTheRun) {
    Write("a.jsp", "<%@ include file=\"log.txt\" %>a");
    Write("log.txt", "an include");
    Run(Site(), Site(), "jsp", "html");
    messages.shown.clear();
    EXPECT_FALSE(SaveConversionLog(Site(), "the log", state, messages));
    EXPECT_EQ(Read(m_root / "site/log.txt"), "an include");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "出错啦");
    EXPECT_TRUE(messages.shown[0].text.starts_with("保存日志时异常,原因为：")) << messages.shown[0].text;

    // An output path of the run (log.jsp converted to log.txt) is refused too; an ordinary folder takes it twice.
    Write("log.jsp", "page");
    Run(Site(), Out(), "jsp", "txt");
    EXPECT_FALSE(SaveConversionLog(Out(), "the log", state, messages));
    EXPECT_EQ(Read(m_root / "out/log.txt"), "page\r\n");
    std::filesystem::remove(m_root / "site/log.jsp");
    Run(Site(), Out(), "jsp", "html");
    EXPECT_TRUE(SaveConversionLog(Out(), "first", state, messages));
    EXPECT_TRUE(SaveConversionLog(Out(), "second", state, messages));
    EXPECT_EQ(Read(m_root / "out/log.txt"), "second");
}

TEST_F(ConversionRunTest, OutputThatIsTheSourcePageFailsAndLeavesTheSourceAlone) {
    Write("a.jsp", "<% x %>keep me");
    Run(Site(), Site(), "jsp", "jsp");
    EXPECT_EQ(Read(m_root / "site/a.jsp"), "<% x %>keep me");
    EXPECT_EQ(state.failCount, 1);
    EXPECT_EQ(state.warningCount, 1);
    EXPECT_NE(log.Text().find("source page itself"), std::string::npos);
}

TEST_F(ConversionRunTest, TwoPagesWithOneOutputPathKeepTheFirst) {
    if constexpr (kNativeSeparator == '\\') {
        GTEST_SKIP() << "a.JSP and a.jsp are one file on Windows: the site this test needs cannot exist there";
    }
    Write("a.JSP", "upper<%@ include file=\"gone.inc\" %>");
    Write("a.jsp", "lower");
    for (const unsigned jobs : {1u, 2u}) {
        RunReport report;
        ConversionChoices choices{Site(), "jsp", "html", Out()};
        choices.jobs = jobs;
        StartConversion(choices, state, RunSinks{log, progress, messages, nullptr, nullptr, &report});
        EXPECT_EQ(Read(m_root / "out/a.html"), "upper\r\n");  // "a.JSP" sorts first, ties by raw bytes
        EXPECT_EQ(state.failCount, 1);
        EXPECT_NE(log.Text().find(Site() + N("/a.jsp文件转换时异常,原因为：")), std::string::npos);
        // The second page fails before it is expanded: the first page's missing include is not its warning.
        ASSERT_EQ(report.pages.size(), 2u);
        EXPECT_EQ(report.pages[0].warnings.size(), 1u);
        ASSERT_EQ(report.pages[1].warnings.size(), 1u) << jobs;
        EXPECT_EQ(report.pages[1].warnings[0].path, Site() + N("/a.jsp"));
    }
}

// The run's rules hold for a site handed in through the seam: nothing of it is on disk, and it is read only there.
TEST_F(ConversionRunTest, AnInMemorySiteFollowsTheCollisionRuleAndTheStopAtTen) {
    if constexpr (kNativeSeparator == '\\') {
        GTEST_SKIP() << "its in-memory site and output folder are written as POSIX paths ('/' separators)";
    }
    const std::string root = "/in-memory/site/";
    MemorySiteFiles site;
    site.Add(root + "a.JSP", "upper");
    site.Add(root + "a.jsp", "lower");
    for (int i = 0; i < 12; ++i) {
        site.Add(root + "p" + std::to_string(10 + i) + ".jsp", "<%@ include file=\"inc/x.inc\" %>x");
    }
    site.Add(root + "inc/x.inc", std::string("\xFF\xFE", 2));  // a UTF-16 mark: every include of it fails
    ConversionChoices choices{root, "jsp", "html", Out()};
    const RunResult result = StartConversion(choices, state, RunSinks{log, progress, messages, nullptr}, &site);
    EXPECT_TRUE((result.counts.stopped == RunStop::Limit));
    EXPECT_EQ(result.counts.pages, 11);  // the collision's warning and nine includes
    EXPECT_EQ(result.counts.failed, 1);
    EXPECT_EQ(Read(m_root / "out/a.html"), "upper\r\n");
    EXPECT_EQ(Read(m_root / "out/p18.html"), "\r\nx\r\n");
    EXPECT_FALSE(fs::exists(m_root / "out/p19.html"));
    EXPECT_EQ(site.OpenCount(root + "inc/x.inc"), 1);  // failed before writing a byte: not read again
    EXPECT_NE(log.Text().find(root + "a.jsp文件转换时异常,原因为："), std::string::npos);
}

TEST_F(ConversionRunTest, MissingOutputRootFailsEveryPage) {
    Write("a.jsp", "a");
    Write("b.jsp", "b");
    Run(Site(), Out() + N("/missing"));
    EXPECT_EQ(state.failCount, 2);
    EXPECT_FALSE(fs::exists(m_root / "out/missing"));
}

TEST_F(ConversionRunTest, SecondRunStartsAfresh) {
    Write("a.jsp", "<%@ include file=\"none.inc\" %>");
    Run(Site(), Out());
    Run(Site(), Out());
    EXPECT_EQ(state.fileCount, 1);
    EXPECT_EQ(state.warningCount, 1);
    EXPECT_EQ(log.Text().find("previous log"), std::string::npos);
    EXPECT_EQ(log.Text().find(std::string(77, '=')), log.Text().rfind(std::string(77, '=')));
}

TEST_F(ConversionRunTest, SavingTheLog) {
    EXPECT_FALSE(SaveConversionLog("  ", "text", state, messages));
    EXPECT_EQ(messages.shown.back().text, "未指定转换结果存放目录！");
    EXPECT_FALSE(fs::exists("/log.txt") && Read("/log.txt") == "text");

    EXPECT_TRUE(SaveConversionLog(" " + Out() + " ", "\r\nline", state, messages));
    EXPECT_EQ(Read(m_root / "out/log.txt"), "\r\nline");
    EXPECT_EQ(messages.shown.back().text, "日志保存成功,存放位置为：" + Out() + N("/log.txt"));
    EXPECT_EQ(messages.shown.back().title, "提示");

    EXPECT_FALSE(SaveConversionLog(Out() + N("/missing/"), "x", state, messages));
    EXPECT_EQ(messages.shown.back().title, "出错啦");
    // The system's reason: glibc's text on Linux, Windows' own (in its language) there.
    if constexpr (kNativeSeparator == '/') {
        EXPECT_EQ(messages.shown.back().text, "保存日志时异常,原因为：No such file or directory");
    } else {
        EXPECT_TRUE(messages.shown.back().text.starts_with("保存日志时异常,原因为：")) << messages.shown.back().text;
    }
}

TEST_F(ConversionRunTest, UnusableTypesAreRefusedAfterTheEmptyFolderChecks) {
    struct Row {
        const char* sourceType;
        const char* outputType;
    };
    const Row rows[] = {{"jsp", "html/../../ESCAPED"}, {"jsp", "a\\b"}, {"jsp", " .. "}, {"jsp", "."},
                        {"j/p", "html"},                {"..", "html"},  {".", "htm"}};
    Write("a.jsp", "page");
    for (const Row& row : rows) {
        messages.shown.clear();
        const RunResult result = Run(Site(), Out(), row.sourceType, row.outputType);
        EXPECT_EQ(result.outcome, RunOutcome::Refused) << row.sourceType << " " << row.outputType;
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "转换类型或网页类型无效！");
        EXPECT_EQ(messages.shown[0].title, "提醒");
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Stop);
    }
    messages.shown.clear();
    Run(Site(), "", "jsp", "../x");
    Run("", Out(), "jsp", "../x");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "未指定转换结果存放目录！");
    EXPECT_EQ(messages.shown[1].text, "未指定网站文件根目录！");
    EXPECT_TRUE(fs::is_empty(m_root / "out"));
    EXPECT_EQ(TreeOf(m_root), (std::map<std::string, std::string>{{"site/a.jsp", "page"}}));
    std::string NulType("h\0t", 3);
    Run(Site(), Out(), "jsp", NulType);
    EXPECT_EQ(messages.shown.back().text, "转换类型或网页类型无效！");
}

// The run's rules over an output tree in memory: what is published, what stays, and which page claims a path.
TEST_F(ConversionRunTest, FailedPagesPublishNothingKeepWhatStoodThereAndClaimTheirPath) {
    if constexpr (kNativeSeparator == '\\') {
        GTEST_SKIP() << "a.JSP and a.jsp are one file on Windows: the site this test needs cannot exist there";
    }
    const std::string out = Out() + N("/");
    Write("a.JSP", std::string(64, 'A'));  // fails on the full disk
    Write("a.jsp", "a");                   // same output path as the failed page
    Write("b.jsp", std::string("\xFF\xFE<\0", 4));  // its own expansion fails
    Write("c.jsp", "c");
    Write("sub/d.jsp", "d");  // a link stands at its output folder
    Write("sub2/e.jsp", "e");
    MemoryOutputTree tree;
    tree.Put(out + "a.html", "earlier a");
    tree.Put(out + "b.html", "earlier b");
    tree.FillAfter(40);
    tree.PlantLinkAt(out + "sub");
    const RunResult result = Run(Site(), Out(), "jsp", "html", &tree);
    EXPECT_EQ(result.counts.pages, 6) << log.Text();
    EXPECT_EQ(result.counts.failed, 4);
    EXPECT_EQ(tree.Files(), (std::map<std::string, std::string>{{out + "a.html", "earlier a"},
                                                                 {out + "b.html", "earlier b"},
                                                                 {out + "c.html", "c\r\n"},
                                                                 {out + "sub2/e.html", "e\r\n"}}));
    EXPECT_EQ(tree.Folders(), (std::set<std::string>{out + "sub2"}));
    EXPECT_EQ(tree.OpenPages(), 0);
    const std::string text = log.Text();
    EXPECT_NE(text.find(Site() + N("/a.jsp文件转换时异常,原因为：an earlier page of this run was already written to ") +
                        out + "a.html"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("the output folder " + out + "sub is a link, which is not followed"), std::string::npos);
    EXPECT_EQ(text.find(">>生成" + out + "a.html"), std::string::npos);
    EXPECT_EQ(text.find(">>生成" + out + "b.html"), std::string::npos);
}

TEST_F(ConversionRunTest, ReRunIntoTheSiteRootPicksUpEditsAndGivesWhatAFirstRunGives) {
    // The include names b.jsp, which the rewrite turns into b.html: found by undoing the rewrite on a first run,
    // and standing there as spelled (the last run's output) on every later one.
    Write("a.jsp", "<%@ include file=\"b.jsp\" %>A");
    Write("sub/c.jsp", "<%@ include file=\"../b.jsp\" %>C");  // the same output, spelled otherwise
    Write("b.jsp", "old b");
    Run(Site(), Site());
    Write("b.jsp", "new b");
    const RunResult again = Run(Site(), Site() + N("/./"));
    EXPECT_EQ(again.counts.failed, 0) << log.Text();
    const auto reRun = TreeOf(m_root / "site");

    const std::string reRunLog = log.Text();

    for (const char* name : {"a.html", "b.html", "sub/c.html"}) fs::remove(m_root / "site" / name);
    Run(Site(), Site() + N("/./"));
    EXPECT_EQ(reRun, TreeOf(m_root / "site"));
    EXPECT_EQ(reRunLog, log.Text());
    EXPECT_EQ(reRun.at("a.html"), "\r\nnew b\r\nA\r\n");
    EXPECT_EQ(reRun.at("b.html"), "new b\r\n");
    EXPECT_EQ(reRun.at("sub/c.html"), "\r\nnew b\r\nC\r\n");
}

}  // namespace
}  // namespace quernfold
