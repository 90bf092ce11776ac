#pragma once

#include <iterator>
#include <string>
#include <thread>

#include "engine/report/RunReport.h"
#include "engine/run/ConversionRun.h"
#include "engine/run/RunState.h"
#include "ui/core/RunBoxes.h"
#include "ui/core/WindowView.h"

namespace quernfold {

class SettingsStore;
class WindowView;

/** What the presenter works with besides its view. */
struct WindowPresenterContext {
    SettingsStore& settings;
    LogSink& log;            // the view's log pane; the run writes to it from its worker thread
    ProgressSink& progress;  // the view's progress bar, likewise
    std::string appPath;           // the program's folder with a trailing separator: the site root's default
    std::string defaultOutputDir;  // the output folder's default
    // The saved log starts with a UTF-8 byte-order mark (Windows, where Notepad would otherwise guess the
    // ANSI code page); the log text itself never has one.
    bool logByteOrderMark = false;
};

/**
 * The main window's behaviour, whatever draws it: the load step, the folder boxes and their pickers, the
 * options menu, the start button's run on a worker thread, the save-log button, the help menu and the
 * question before closing during a run. The view forwards the user's actions here; everything runs on the
 * window's thread except the conversion itself.
 */
class WindowPresenter {
public:
    WindowPresenter(WindowView& view, const WindowPresenterContext& context);
    /** Waits for a run that is still going. */
    ~WindowPresenter();
    WindowPresenter(const WindowPresenter&) = delete;
    WindowPresenter& operator=(const WindowPresenter&) = delete;

    /** The load step: shows the stored choices (storing the defaults of missing ones) and the options menu. */
    void Load();

    void BrowseSiteRoot();
    void BrowseOutputDir();
    /** A picked or dropped folder: shown in its box and stored at once. */
    void SetFolder(FolderBox box, const std::string& folder);
    void ToggleOption(WindowOption option, bool on);
    void Convert();
    void SaveLog();
    /**
     * Shows the last completed run's report: written as an HTML page into the user's cache folder (never into the
     * output folder, which is published) and opened there. Nothing before a completed run, or during one.
     */
    void ViewReport();
    void OpenMakerSite();
    void ShowAbout();
    /** The window is asked to close (退出, the frame's close button): true when it may close now. */
    bool CloseRequested();

    bool IsConverting() const { return m_worker.joinable(); }
    const RunResult& LastRun() const { return m_lastRun; }
    /** The run's state outlasts it; a stop request is set here. */
    RunState& State() { return m_state; }

private:
    void RunFinished();

    WindowView& m_view;
    SettingsStore& m_settings;
    LogSink& m_log;
    ProgressSink& m_progress;
    std::string m_appPath;
    std::string m_defaultOutputDir;
    bool m_logByteOrderMark;
    RunBoxes m_boxes;
    bool m_options[std::size(kWindowOptions)] = {};

    RunState m_state;
    RunResult m_lastRun;
    RunReport m_report;          // the run's facts, filled by every run
    bool m_reportReady = false;  // the last run completed: its report can be shown
    std::thread m_worker;
    std::string m_workerFailure;  // an exception that escaped the engine, reported once the run has ended
    bool m_closeAfterRun = false;  // the user chose to stop the run and close the window
};

}  // namespace quernfold
