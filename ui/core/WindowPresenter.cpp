#include "ui/core/WindowPresenter.h"

#include <exception>
#include <vector>

#include "engine/log/LogLines.h"
#include "engine/report/ReportToView.h"
#include "engine/run/SettingsStore.h"
#include "ui/MakerInfo.h"
#include "ui/core/WindowView.h"

namespace quernfold {

namespace {

constexpr std::string_view kSection = "sys";
constexpr std::string_view kReportNotWrittenText = "无法写入转换报告：";

const char* KeyOf(WindowOption option) {
    switch (option) {
        case WindowOption::CopyAssets:
            return "copyAssets";
        case WindowOption::DropServerCode:
            return "dropServerCode";
        case WindowOption::AnyCaseLinks:
            return "anyCaseLinks";
    }
    return "";
}

const char* KeyOf(FolderBox box) { return box == FolderBox::SiteRoot ? "workPath" : "outputDir"; }

/** Which of the two items a stored type selects: an exact, case-sensitive test; any other text picks the second. */
int Selected(const std::vector<std::string>& items, const std::string& stored) { return stored == items[0] ? 0 : 1; }

}  // namespace

WindowPresenter::WindowPresenter(WindowView& view, const WindowPresenterContext& context)
    : m_view(view),
      m_settings(context.settings),
      m_log(context.log),
      m_progress(context.progress),
      m_appPath(context.appPath),
      m_defaultOutputDir(context.defaultOutputDir),
      m_logByteOrderMark(context.logByteOrderMark),
      m_boxes([&view](const std::string& text, const std::string& title,
                      MessageIcon icon) { view.ShowBox(text, title, icon); },
              [&view](std::function<void()> call) { view.Post(std::move(call)); }) {}

WindowPresenter::~WindowPresenter() {
    if (m_worker.joinable()) {
        // Nobody is left to answer the run's boxes.
        m_boxes.Drop();
        m_state.stopRequested = true;
        m_worker.join();
    }
}

void WindowPresenter::Load() {
    m_view.SetBoxText(FolderBox::SiteRoot, m_settings.ReadIni(kSection, "workPath", m_appPath));
    m_view.SetBoxText(FolderBox::OutputDir, m_settings.ReadIni(kSection, "outputDir", m_defaultOutputDir));
    const std::vector<std::string> sourceTypes = {"jsp", "asp"};
    m_view.ShowSourceTypes(sourceTypes, Selected(sourceTypes, m_settings.ReadIni(kSection, "srcType", "jsp")));
    const std::vector<std::string> outputTypes = {"html", "htm"};
    m_view.ShowOutputTypes(outputTypes, Selected(outputTypes, m_settings.ReadIni(kSection, "outputType", "html")));
    // Read without storing a default: the file gains the key only when the user toggles the item.
    for (const WindowOption option : kWindowOptions) {
        bool& on = m_options[static_cast<int>(option)];
        on = m_settings.PeekIni(kSection, KeyOf(option)).value_or("0") == "1";
        m_view.ShowOption(option, on);
    }
}

void WindowPresenter::BrowseSiteRoot() {
    // A cancelled picker gives "", which empties the box and is stored like any folder.
    SetFolder(FolderBox::SiteRoot, m_view.PickFolder("选择网站目录", m_view.BoxText(FolderBox::SiteRoot)));
}

void WindowPresenter::BrowseOutputDir() {
    SetFolder(FolderBox::OutputDir, m_view.PickFolder("选择输出文件夹", m_view.BoxText(FolderBox::OutputDir)));
}

void WindowPresenter::SetFolder(FolderBox box, const std::string& folder) {
    m_view.SetBoxText(box, folder);
    m_settings.WriteIni(kSection, KeyOf(box), m_view.BoxText(box));
}

void WindowPresenter::ToggleOption(WindowOption option, bool on) {
    m_options[static_cast<int>(option)] = on;
    m_settings.WriteIni(kSection, KeyOf(option), on ? "1" : "0");
}

void WindowPresenter::Convert() {
    if (IsConverting()) return;
    ConversionChoices choices;
    choices.siteRoot = m_view.BoxText(FolderBox::SiteRoot);
    choices.sourceType = m_view.SourceTypeText();
    choices.outputType = m_view.OutputTypeText();
    choices.outputDir = m_view.BoxText(FolderBox::OutputDir);
    choices.codePage = CodePageChoice::Auto;
    choices.copyAssets = m_options[static_cast<int>(WindowOption::CopyAssets)];
    choices.dropServerCode = m_options[static_cast<int>(WindowOption::DropServerCode)];
    choices.anyCaseLinks = m_options[static_cast<int>(WindowOption::AnyCaseLinks)];

    m_view.ShowConverting(true);
    m_reportReady = false;
    m_view.ShowReportAvailable(false);
    m_report = RunReport();
    m_workerFailure.clear();
    m_state.stopRequested = false;
    m_boxes.Reset();
    m_worker = std::thread([this, choices] {
        const RunSinks sinks{m_log, m_progress, m_boxes, &m_settings, nullptr, &m_report};
        try {
            m_lastRun = StartConversion(choices, m_state, sinks);
        } catch (const std::exception& failure) {
            m_lastRun = RunResult();
            m_lastRun.outcome = RunOutcome::Aborted;
            m_workerFailure = failure.what();
        } catch (...) {
            m_lastRun = RunResult();
            m_lastRun.outcome = RunOutcome::Aborted;
            m_workerFailure = kUnknownFailureText;
        }
        m_view.Post([this] { RunFinished(); });
    });
}

void WindowPresenter::RunFinished() {
    m_worker.join();
    m_view.ShowConverting(false);
    if (!m_workerFailure.empty()) {
        m_lastRun.abortReason = m_workerFailure;
        m_boxes.ShowMessage(RuntimeFailureText(m_workerFailure), kTitleError, MessageIcon::Stop);
    }
    m_reportReady = m_lastRun.outcome == RunOutcome::Completed && m_workerFailure.empty();
    m_view.ShowReportAvailable(m_reportReady);
    m_view.RunEnded();
    if (m_closeAfterRun) m_view.CloseWindow();
}

void WindowPresenter::ViewReport() {
    if (!m_reportReady || IsConverting()) return;
    try {
        m_view.OpenLocalFile(SaveReportToView(m_report, m_state.outputRoot));
    } catch (const std::exception& failure) {
        m_view.ShowBox(std::string(kReportNotWrittenText) + failure.what(), std::string(kTitleError),
                       MessageIcon::Stop);
    }
}

void WindowPresenter::SaveLog() {
    const std::string text = (m_logByteOrderMark ? "\xEF\xBB\xBF" : "") + m_view.LogText();
    SaveConversionLog(m_view.BoxText(FolderBox::OutputDir), text, m_state, m_boxes);
}

void WindowPresenter::OpenMakerSite() {
    // Whether a browser opened is not checked: a failing shell "open" shows nothing.
    m_view.OpenWebAddress(kMakerWebAddress);
}

void WindowPresenter::ShowAbout() { m_view.ShowAboutWindow(); }

bool WindowPresenter::CloseRequested() {
    if (IsConverting() && !m_closeAfterRun) {
        // The run goes on while the question is open, and may even end; its boxes wait for the answer.
        m_boxes.Hold();
        if (!m_view.Ask(std::string(kStopRunQuestion), std::string(kTitleNotice))) {
            m_boxes.ShowHeld();
            return false;
        }
        m_closeAfterRun = true;
        m_boxes.Drop();
        m_state.stopRequested = true;
    }
    // During a run the window closes when the stopped run has written its summary.
    return !IsConverting();
}

}  // namespace quernfold
