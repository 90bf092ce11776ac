// The window's behaviour without a display: the presenter driven through a view made of plain fields, with the
// real engine, the real settings file and the run on its worker thread.
#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/log/LogLines.h"
#include "settings/Rwini.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"
#include "tests/uicore/FakeWindowView.h"
#include "ui/core/MainForm.h"
#include "ui/core/WindowPresenter.h"

namespace quernfold {
namespace {

using test_support::FakeWindowView;
using test_support::ReadFile;
using test_support::RecordingLog;
using test_support::RecordingProgress;
using test_support::Sandbox;
using test_support::WriteFile;

const std::string kAppPath = "/opt/quernfold/bin/";
const std::string kHomeOut = "/home/tester/";
const std::string kDone3 = "文件转换完成，成功：3个，异常：0个，详见日志!";

std::string Banner(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

/** A settings store whose every write fails loudly: an exception that escapes the engine. */
class ThrowingSettings final : public SettingsStore {
public:
    std::string ReadIni(std::string_view, std::string_view, std::string_view defaultValue) override {
        return std::string(defaultValue);
    }
    void WriteIni(std::string_view, std::string_view, std::string_view) override {
        throw std::runtime_error("disk on fire");
    }
};

class WindowPresenterTest : public ::testing::Test {
protected:
    Sandbox sandbox;
    RecordingLog log;
    RecordingProgress progress;
    FakeWindowView view{log};
    std::unique_ptr<Rwini> settings = std::make_unique<Rwini>(IniPath());
    std::unique_ptr<WindowPresenter> presenter;

    std::string IniPath() const { return (sandbox.Root() / "config.ini").string(); }
    std::string Dir(const std::string& name) const { return (sandbox.Root() / name).string(); }

    WindowPresenter& Open(SettingsStore* store = nullptr) {
        presenter = std::make_unique<WindowPresenter>(
            view, WindowPresenterContext{store ? *store : *settings, log, progress, kAppPath, kHomeOut});
        presenter->Load();
        return *presenter;
    }

    /** Site with two pages at the top, an include folder without pages, and one page in a sub-folder. */
    void MakeSite() {
        WriteFile(Dir("site/a.jsp"), "<html>\r\n<%@ include file=\"/inc/head.inc\" %>\r\n<a href=\"z.jsp\">z</a>\r\n");
        WriteFile(Dir("site/z.jsp"), "<p>z</p>\r\n<% int hidden = 1; %>\r\n");
        WriteFile(Dir("site/inc/head.inc"), "<title>head</title>\r\n");
        WriteFile(Dir("site/sub/b.jsp"), "<p>b</p>\r\n");
        std::filesystem::create_directories(Dir("out"));
    }

    std::string ExpectedLog() const {
        const std::string site = Dir("site") + "/";
        const std::string out = Dir("out") + "/";
        std::string text;
        const auto add = [&](const std::string& line) { text += "\r\n" + line; };
        for (const auto& [page, output] :
             {std::pair{"a.jsp", "a.html"}, {"z.jsp", "z.html"}, {"sub/b.jsp", "sub/b.html"}}) {
            add(Banner('=', 77));
            add("开始转换:" + site + page + "....");
            add(">>生成" + out + output + "成功！");
        }
        add(Banner('*', 78));
        for (const char* line : {"共转换文件3个", "其中：成功3个", "      失败0个", "转换过程中共发生0次异常警告"}) add(line);
        add(Banner('*', 78));
        return text;
    }

    /** Sets the two folders, presses the start button and lets the window's thread run until the run is over. */
    void Run(const std::string& site, const std::string& out) {
        view.folders[0] = site;
        view.folders[1] = out;
        const int ended = view.runsEnded;
        presenter->Convert();
        ASSERT_TRUE(view.PumpUntil([&] { return view.runsEnded > ended; }));
        EXPECT_FALSE(presenter->IsConverting());
    }
};

struct StoredTypes {
    const char* name;
    const char* ini;  // nullptr: no config.ini yet
    std::string site, out, sourceType, outputType;
};

TEST_F(WindowPresenterTest, LoadStepShowsTheStoredChoicesAndStoresOnlyMissingOnes) {
    const StoredTypes cases[] = {
        {"fresh", nullptr, kAppPath, kHomeOut, "jsp", "html"},
        {"exact", "[sys]\r\nworkPath=/srv/网站/\r\noutputDir=/srv/out/\r\nsrcType=jsp\r\noutputType=html\r\n",
         "/srv/网站/", "/srv/out/", "jsp", "html"},
        {"capitals pick the other item", "[sys]\r\nworkPath=/w/\r\noutputDir=/o/\r\nsrcType=JSP\r\noutputType=HTML\r\n",
         "/w/", "/o/", "asp", "htm"},
        {"second items", "[sys]\r\nworkPath=/w/\r\noutputDir=/o/\r\nsrcType=asp\r\noutputType=htm\r\n", "/w/", "/o/",
         "asp", "htm"},
        {"anything else", "[sys]\r\nworkPath=/w/\r\noutputDir=/o/\r\nsrcType=php\r\noutputType=shtml\r\n", "/w/", "/o/",
         "asp", "htm"},
        {"blanks around are not part of it",
         "[sys]\r\nworkPath=/w/\r\noutputDir=/o/\r\nsrcType=  jsp \r\noutputType= html\r\n", "/w/", "/o/", "jsp",
         "html"},
    };
    for (const StoredTypes& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(IniPath());
        if (c.ini) WriteFile(IniPath(), c.ini);
        Open();
        EXPECT_EQ(view.folders[0], c.site);
        EXPECT_EQ(view.folders[1], c.out);
        EXPECT_EQ(view.sourceItems, (std::vector<std::string>{"jsp", "asp"}));
        EXPECT_EQ(view.outputItems, (std::vector<std::string>{"html", "htm"}));
        EXPECT_EQ(view.sourceType, c.sourceType);
        EXPECT_EQ(view.outputType, c.outputType);
        // Loading writes nothing that was there already, and the defaults of what was not.
        EXPECT_EQ(ReadFile(IniPath()), c.ini ? std::string(c.ini)
                                             : "[sys]\nworkPath=" + kAppPath + "\noutputDir=" + kHomeOut +
                                                   "\nsrcType=jsp\noutputType=html\n");
    }
}

TEST_F(WindowPresenterTest, CopyAssetsItemIsReadWithoutWritingAndStoredWhenToggled) {
    const std::pair<const char*, bool> cases[] = {{nullptr, false}, {"1", true},     {"0", false},
                                                  {"yes", false},   {" 1 ", true},   {"TRUE", false}};
    for (const auto& [stored, checked] : cases) {
        SCOPED_TRACE(stored ? stored : "<none>");
        const std::string keys = "[sys]\nworkPath=/w/\noutputDir=/o/\nsrcType=jsp\noutputType=html\n";
        const std::string ini = keys + (stored ? std::string("copyAssets=") + stored + "\n" : "");
        WriteFile(IniPath(), ini);
        Open();
        EXPECT_EQ(view.options[0], checked);
        EXPECT_EQ(ReadFile(IniPath()), ini);
        presenter->ToggleOption(WindowOption::CopyAssets, !checked);
        EXPECT_EQ(ReadFile(IniPath()), keys + "copyAssets=" + (checked ? "0" : "1") + "\n");
    }
}

TEST_F(WindowPresenterTest, EveryOptionIsStoredUnderItsOwnKeyAndShownAtTheNextStart) {
    WriteFile(IniPath(), "[sys]\nworkPath=/w/\n");
    Open();
    presenter->ToggleOption(WindowOption::DropServerCode, true);
    presenter->ToggleOption(WindowOption::AnyCaseLinks, true);
    presenter->ToggleOption(WindowOption::AnyCaseLinks, false);
    EXPECT_NE(ReadFile(IniPath()).find("\ndropServerCode=1\nanyCaseLinks=0\n"), std::string::npos) << ReadFile(IniPath());
    Open();
    EXPECT_FALSE(view.options[static_cast<int>(WindowOption::CopyAssets)]);
    EXPECT_TRUE(view.options[static_cast<int>(WindowOption::DropServerCode)]);
    EXPECT_FALSE(view.options[static_cast<int>(WindowOption::AnyCaseLinks)]);
}

TEST_F(WindowPresenterTest, PickedAndDroppedFoldersAreShownAndStoredAtOnceCancelledEmptiesTheBox) {
    Open();
    view.pickerAnswers = {"/srv/www", "/srv/static"};
    presenter->BrowseSiteRoot();
    presenter->BrowseOutputDir();
    EXPECT_EQ(view.pickerTitles, (std::vector<std::string>{"选择网站目录", "选择输出文件夹"}));
    EXPECT_EQ(view.pickerStarts, (std::vector<std::string>{kAppPath, kHomeOut}));  // each opens at its box's folder
    EXPECT_EQ(view.folders[0], "/srv/www");
    EXPECT_EQ(view.folders[1], "/srv/static");
    EXPECT_EQ(Rwini(IniPath()).ReadIni("sys", "workPath", "?"), "/srv/www");
    EXPECT_EQ(Rwini(IniPath()).ReadIni("sys", "outputDir", "?"), "/srv/static");

    presenter->SetFolder(FolderBox::OutputDir, "/srv/dropped");
    EXPECT_EQ(view.folders[1], "/srv/dropped");
    EXPECT_EQ(Rwini(IniPath()).ReadIni("sys", "outputDir", "?"), "/srv/dropped");

    // A cancelled picker empties the box and stores the empty text; the next start shows the default again.
    presenter->BrowseSiteRoot();
    EXPECT_EQ(view.folders[0], "");
    EXPECT_NE(ReadFile(IniPath()).find("\nworkPath=\n"), std::string::npos);
    Open();
    EXPECT_EQ(view.folders[0], kAppPath);

    // A typed folder is only stored by a run.
    view.folders[1] = "/typed/";
    Open();
    EXPECT_EQ(view.folders[1], "/srv/dropped");
}

TEST_F(WindowPresenterTest, WholeRunFromTheStartButton) {
    MakeSite();
    Open();
    Run(Dir("site"), Dir("out"));
    EXPECT_EQ(log.Text(), ExpectedLog());
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, kDone3);
    EXPECT_EQ(view.boxes[0].title, "提示");
    EXPECT_EQ(view.boxes[0].icon, MessageIcon::Information);
    // The final box opens while the window still shows the run, after the whole log.
    EXPECT_TRUE(view.boxes[0].converting);
    EXPECT_EQ(view.boxes[0].logShown, ExpectedLog());
    EXPECT_EQ(view.convertingShown, (std::vector<bool>{true, false}));
    EXPECT_EQ(progress.Calls(), (std::vector<std::string>{"range 0 4", "show", "value 1", "value 2", "value 3", "hide"}));
    EXPECT_EQ(presenter->LastRun().outcome, RunOutcome::Completed);
    EXPECT_NE(ReadFile(Dir("out/a.html")).find("<title>head</title>"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(Dir("out/sub/b.html")));
    // The choices were stored at the start of the run.
    EXPECT_EQ(Rwini(IniPath()).ReadIni("sys", "workPath", "?"), Dir("site"));
    EXPECT_EQ(Rwini(IniPath()).ReadIni("sys", "outputDir", "?"), Dir("out"));

    // A second run clears the log and counts afresh; the window is never closed by a run of its own.
    Run(Dir("site"), Dir("out"));
    EXPECT_EQ(log.Text(), ExpectedLog());
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[1].text, kDone3);
    EXPECT_EQ(view.closeCalls, 0);
    EXPECT_TRUE(presenter->CloseRequested());
}

// 操作 → 查看转换报告: the last completed run's report, written into the user's cache folder and opened from there.
TEST_F(WindowPresenterTest, ReportIsWrittenToTheCacheFolderAndShownOnlyAfterACompletedRun) {
#ifdef _WIN32
    GTEST_SKIP() << "the cache folder is %LOCALAPPDATA% there, which the test does not move";
#else
    MakeSite();
    ASSERT_EQ(::setenv("XDG_CACHE_HOME", Dir("cache").c_str(), 1), 0);
    Open();
    presenter->ViewReport();  // no run yet
    EXPECT_TRUE(view.filesOpened.empty());
    Run(Dir("site"), Dir("out"));
    EXPECT_EQ(view.reportAvailable, (std::vector<bool>{false, true}));
    presenter->ViewReport();
    ASSERT_EQ(view.filesOpened.size(), 1u);
    const std::string path = view.filesOpened[0];
    EXPECT_TRUE(path.starts_with(Dir("cache") + "/quernfold/")) << path;
    const std::string html = ReadFile(path);
    EXPECT_NE(html.find("<title>转换报告</title>"), std::string::npos);
    EXPECT_NE(html.find("data-count=\"pages\">3<"), std::string::npos);
    // The output folder, which is published, holds the pages only.
    std::vector<std::string> published;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Dir("out"))) {
        published.push_back(std::filesystem::relative(entry.path(), Dir("out")).string());
    }
    std::sort(published.begin(), published.end());
    EXPECT_EQ(published, (std::vector<std::string>{"a.html", "sub", "sub/b.html", "z.html"}));

    // A refused run has no report to show: the item turns off and stays off.
    Run(Dir("site"), "");
    EXPECT_EQ(view.reportAvailable, (std::vector<bool>{false, true, false, false}));
    presenter->ViewReport();
    EXPECT_EQ(view.filesOpened.size(), 1u);
    ::unsetenv("XDG_CACHE_HOME");
#endif
}

TEST_F(WindowPresenterTest, RunUsesTheTypedTypesAndTheCopyItem) {
    WriteFile(Dir("site/p.asp"), "<% Response.Write 1 %>\r\n");
    WriteFile(Dir("site/css/site.css"), "body{}\n");
    std::filesystem::create_directories(Dir("out"));
    Open();
    view.sourceType = "asp";
    view.outputType = "shtml";
    presenter->ToggleOption(WindowOption::CopyAssets, true);
    Run(Dir("site"), "  " + Dir("out") + " ");
    ASSERT_FALSE(view.boxes.empty());
    EXPECT_EQ(view.boxes.back().text, "文件转换完成，成功：1个，异常：0个，详见日志!");
    // An ASP page keeps its code: proof that the typed "asp" reached the run.
    EXPECT_NE(ReadFile(Dir("out/p.shtml")).find("<% Response.Write 1 %>"), std::string::npos);
    EXPECT_EQ(ReadFile(Dir("out/css/site.css")), "body{}\n");
    EXPECT_NE(log.Text().find("\r\n复制静态文件1个，其中未变化0个，失败0个\r\n"), std::string::npos) << log.Text();
    EXPECT_NE(ReadFile(IniPath()).find("\nsrcType=asp\noutputType=shtml\n"), std::string::npos);
}

TEST_F(WindowPresenterTest, RefusedRunsKeepTheLogAndStoreTheChoices) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"/srv/www", "", "未指定转换结果存放目录！"},
        {"/srv/www", "   ", "未指定转换结果存放目录！"},
        {"", "/srv/out", "未指定网站文件根目录！"},
    };
    for (const auto& [site, out, message] : cases) {
        SCOPED_TRACE(message + " <" + out + ">");
        view.boxes.clear();
        Open();
        Run(site, out);
        ASSERT_EQ(view.boxes.size(), 1u);
        EXPECT_EQ(view.boxes[0].text, message);
        EXPECT_EQ(view.boxes[0].title, "提醒");
        EXPECT_EQ(view.boxes[0].icon, MessageIcon::Stop);
        EXPECT_EQ(log.Text(), " ");
        EXPECT_FALSE(view.converting);
        EXPECT_NE(ReadFile(IniPath()).find("\nworkPath=" + site + "\noutputDir=" + out + "\n"), std::string::npos);
    }
}

TEST_F(WindowPresenterTest, FailureEscapingTheEngineIsReportedAfterTheRun) {
    ThrowingSettings broken;
    Open(&broken);
    Run(Dir("site"), Dir("out"));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, RuntimeFailureText("disk on fire"));
    EXPECT_EQ(view.boxes[0].title, "出错啦");
    EXPECT_EQ(view.boxes[0].icon, MessageIcon::Stop);
    EXPECT_FALSE(view.boxes[0].converting);  // the window takes input again behind the box
    EXPECT_EQ(presenter->LastRun().outcome, RunOutcome::Aborted);
    EXPECT_EQ(presenter->LastRun().abortReason, "disk on fire");
}

struct CloseCase {
    const char* name;
    bool yes;
    bool runEndsWhileAsked;
    bool closes;
    bool stops;
    std::size_t finalBoxes;
};

TEST_F(WindowPresenterTest, ClosingDuringARunAsksWhetherToStopIt) {
    const CloseCase cases[] = {
        // 是 stops the run; the window closes once the summary is written, without the final box.
        {"yes", true, false, true, true, 0},
        // 否: the run goes on to its final box, the window stays.
        {"no", false, false, false, false, 1},
        // The run ends while the question is open: 是 closes without the final box, 否 shows it.
        {"yes after the end", true, true, true, false, 0},
        {"no after the end", false, true, false, false, 1},
    };
    constexpr int kPages = 20;
    for (int i = 0; i < kPages; ++i) WriteFile(Dir("site/p" + std::to_string(100 + i) + ".jsp"), "<p>page</p>\r\n");
    std::filesystem::create_directories(Dir("out"));
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLog fresh;
        FakeWindowView window(fresh);
        view.boxes.clear();
        WindowPresenter run(window, WindowPresenterContext{*settings, fresh, progress, kAppPath, kHomeOut});
        run.Load();
        window.folders[0] = Dir("site");
        window.folders[1] = Dir("out");
        fresh.HoldAt("开始转换:");  // the run waits inside its first page until the question has been asked
        window.onAsk = [&] {
            if (c.runEndsWhileAsked) {
                fresh.Release();
                EXPECT_TRUE(window.PumpUntil([&] { return window.runsEnded == 1; }));
            }
            return c.yes;
        };
        run.Convert();
        ASSERT_TRUE(fresh.WaitUntilHeld());
        const bool closesAtOnce = run.CloseRequested();
        fresh.Release();
        ASSERT_TRUE(window.PumpUntil([&] { return window.runsEnded == 1; }));

        ASSERT_EQ(window.questions.size(), 1u);
        EXPECT_EQ(window.questions[0].text, "转换正在进行，确定要中止转换吗？");
        EXPECT_EQ(window.questions[0].title, "提示");
        EXPECT_TRUE(window.questions[0].converting);
        EXPECT_EQ(closesAtOnce, c.closes && c.runEndsWhileAsked);
        // A stopped run closes the window itself once over; the window asks again and may now close.
        EXPECT_EQ(window.closeCalls, c.closes && !c.runEndsWhileAsked ? 1 : 0);
        if (window.closeCalls) {
            EXPECT_TRUE(run.CloseRequested());
        }
        EXPECT_EQ(window.questions.size(), 1u);  // never asked twice
        EXPECT_EQ(window.boxes.size(), c.finalBoxes);
        EXPECT_EQ(run.LastRun().counts.stopped == RunStop::User, c.stops);
        const std::string text = fresh.Text();
        EXPECT_NE(text.find(Banner('*', 78) + "\r\n共转换文件"), std::string::npos) << text;
        if (c.stops) {
            EXPECT_NE(text.find("\r\n转换已被用户中止\r\n"), std::string::npos) << text;
            EXPECT_LT(run.LastRun().counts.pages, kPages);
        } else {
            EXPECT_EQ(text.find("转换已被用户中止"), std::string::npos);
            EXPECT_EQ(run.LastRun().counts.pages, kPages);
        }
    }
}

TEST_F(WindowPresenterTest, SaveLogWritesTheLogOrSaysWhyNot) {
    MakeSite();
    Open();
    // Before any run: the initial blank.
    view.folders[1] = Dir("out") + "/";
    presenter->SaveLog();
    EXPECT_EQ(ReadFile(Dir("out/log.txt")), " ");
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "日志保存成功,存放位置为：" + Dir("out/log.txt"));

    Run(Dir("site"), Dir("out"));
    view.folders[1] = " " + Dir("out") + " ";
    presenter->SaveLog();
    ASSERT_EQ(view.boxes.size(), 3u);
    EXPECT_EQ(view.boxes[2].text, "日志保存成功,存放位置为：" + Dir("out/log.txt"));
    EXPECT_EQ(view.boxes[2].title, "提示");
    EXPECT_EQ(view.boxes[2].icon, MessageIcon::Information);
    EXPECT_EQ(ReadFile(Dir("out/log.txt")), ExpectedLog());

    view.folders[1] = Dir("missing/folder");
    presenter->SaveLog();
    ASSERT_EQ(view.boxes.size(), 4u);
    EXPECT_TRUE(view.boxes[3].text.starts_with("保存日志时异常,原因为：")) << view.boxes[3].text;
    EXPECT_GT(view.boxes[3].text.size(), std::string("保存日志时异常,原因为：").size());
    EXPECT_EQ(view.boxes[3].title, "出错啦");

    view.folders[1] = "  ";
    presenter->SaveLog();
    ASSERT_EQ(view.boxes.size(), 5u);
    EXPECT_EQ(view.boxes[4].text, "未指定转换结果存放目录！");
    EXPECT_EQ(view.boxes[4].title, "提醒");
}

TEST_F(WindowPresenterTest, SavedLogStartsWithAByteOrderMarkWhereThePlatformWantsOne) {
    std::filesystem::create_directories(Dir("out"));
    presenter = std::make_unique<WindowPresenter>(
        view, WindowPresenterContext{*settings, log, progress, kAppPath, kHomeOut, /*logByteOrderMark=*/true});
    presenter->Load();
    log.ClearLog();
    log.AppendLog("开始转换");
    view.folders[1] = Dir("out");
    presenter->SaveLog();
    EXPECT_EQ(ReadFile(Dir("out/log.txt")), "\xEF\xBB\xBF\r\n开始转换");
    EXPECT_EQ(log.Text(), "\r\n开始转换");  // the log itself is unchanged
}

TEST_F(WindowPresenterTest, HelpMenuOpensTheMakersSiteAndTheAboutWindow) {
    Open();
    presenter->OpenMakerSite();
    presenter->ShowAbout();
    EXPECT_EQ(view.addresses, (std::vector<std::string>{"https://www.varnholt.example"}));
    EXPECT_EQ(view.aboutShown, 1);
}

TEST(MainForm, ControlsLieInTheirContainersAndAreMadeInTabOrder) {
    std::vector<std::string> tabOrder;
    for (const FormControl& control : MainFormControls()) {
        SCOPED_TRACE(std::string(control.name) + " " + std::to_string(control.index));
        const TwipsBox box = InClientArea(control);
        EXPECT_GE(box.left, 0);
        EXPECT_GE(box.top, 0);
        EXPECT_LE(box.left + box.width, kMainFormWidth);
        EXPECT_LE(box.top + box.height, kMainFormHeight);
        if (!control.container.empty()) {
            const auto frame = std::find_if(MainFormControls().begin(), MainFormControls().end(),
                                            [&](const FormControl& c) { return c.name == control.container; });
            ASSERT_NE(frame, MainFormControls().end());
            EXPECT_LT(frame - MainFormControls().begin(), &control - MainFormControls().data());
            EXPECT_LE(control.left + control.width, frame->width);
            EXPECT_LE(control.top + control.height, frame->height);
        }
        if (control.tabIndex >= 0) {
            EXPECT_EQ(control.tabIndex, static_cast<int>(tabOrder.size()));  // creation order is the tab order
            tabOrder.emplace_back(control.name);
        }
    }
    EXPECT_EQ(tabOrder, (std::vector<std::string>{"wwwUrl", "cmdSetWWW", "srcType", "outputType", "outputDir",
                                                  "Command2", "cmdConvert", "Command3", "outText", "cmdSaveLog"}));
    EXPECT_EQ(CreditsLine(), "制作：Varnholt" + std::string(14, ' ') + "企业网址：https://www.varnholt.example" +
                                 std::string(9, ' ') + "Email:support@varnholt.example");
}

TEST(RunBoxes, WorkerWaitsForTheBoxAndHeldBoxesAreShownOrDropped) {
    std::vector<std::string> shown;
    std::vector<std::function<void()>> posted;
    std::mutex mutex;
    RunBoxes boxes([&](const std::string& text, const std::string&, MessageIcon) { shown.push_back(text); },
                   [&](std::function<void()> call) {
                       std::lock_guard lock(mutex);
                       posted.push_back(std::move(call));
                   });
    std::atomic<bool> workerPast = false;
    std::thread worker([&] {
        boxes.ShowMessage("one", "t", MessageIcon::None);
        workerPast = true;
    });
    // The box is not shown on the worker: it waits for the window's thread, and so does the worker.
    for (int i = 0; i < 500; ++i) {
        std::lock_guard lock(mutex);
        if (!posted.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(workerPast);
    EXPECT_TRUE(shown.empty());
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(posted.size(), 1u);
        posted[0]();
    }
    worker.join();
    EXPECT_TRUE(workerPast);
    EXPECT_EQ(shown, (std::vector<std::string>{"one"}));

    boxes.Hold();
    boxes.ShowMessage("held", "t", MessageIcon::None);
    EXPECT_EQ(shown.size(), 1u);
    boxes.ShowHeld();
    EXPECT_EQ(shown, (std::vector<std::string>{"one", "held"}));
    boxes.Hold();
    boxes.ShowMessage("dropped", "t", MessageIcon::None);
    boxes.Drop();
    boxes.ShowMessage("later", "t", MessageIcon::None);
    EXPECT_EQ(shown.size(), 2u);
    boxes.Reset();  // a new run
    boxes.ShowMessage("next run", "t", MessageIcon::None);
    EXPECT_EQ(shown.back(), "next run");
}

}  // namespace
}  // namespace quernfold
