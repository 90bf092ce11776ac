#pragma once

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/log/Sinks.h"

namespace quernfold {

/** The two folder boxes of the form. */
enum class FolderBox { SiteRoot, OutputDir };

/** The checkable items of the options menu, each stored under its key when toggled. */
enum class WindowOption { CopyAssets, DropServerCode, AnyCaseLinks };
inline constexpr WindowOption kWindowOptions[] = {WindowOption::CopyAssets, WindowOption::DropServerCode,
                                                   WindowOption::AnyCaseLinks};

/**
 * What the window's presenter needs from a toolkit: the controls' texts, the dialogs, the other windows and a
 * way back onto the window's thread. Called on the window's thread only, except Post.
 */
class WindowView {
public:
    virtual ~WindowView() = default;

    virtual std::string BoxText(FolderBox box) const = 0;
    virtual void SetBoxText(FolderBox box, const std::string& text) = 0;
    /** The texts of the two type boxes as the user left them: a typed text counts, not only a listed item. */
    virtual std::string SourceTypeText() const = 0;
    virtual std::string OutputTypeText() const = 0;
    virtual void ShowSourceTypes(const std::vector<std::string>& items, int selected) = 0;
    virtual void ShowOutputTypes(const std::vector<std::string>& items, int selected) = 0;
    virtual void ShowOption(WindowOption option, bool checked) = 0;

    /**
     * During a run the controls that would change it or start another take no input (the log, 帮助 and 退出
     * do); afterwards the control that had the focus gets it back. The log pane paints its lines in batches
     * while converting is true and shows every waiting line when it turns false.
     */
    virtual void ShowConverting(bool converting) = 0;
    /** The log text as the engine defines it (CR LF before every line), every line received so far included. */
    virtual std::string LogText() = 0;

    /** The folder dialog, modal, opened at boxText's folder: the chosen folder, or "" when cancelled. */
    virtual std::string PickFolder(const std::string& title, const std::string& boxText) = 0;
    /** A modal box with an OK button, after the log lines that came before it are painted. */
    virtual void ShowBox(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    /** A question with 是 and 否 (否 the default); true for 是. */
    virtual bool Ask(const std::string& text, const std::string& title) = 0;
    virtual void OpenWebAddress(const std::string& address) = 0;
    /** Opens a file of this machine in the desktop's program for it (the HTML report: the browser). */
    virtual void OpenLocalFile(const std::string& path) { OpenWebAddress(path); }
    /** Whether the action that shows the last run's report takes input: only after a run that completed. */
    virtual void ShowReportAvailable(bool available) { (void)available; }
    /** Opens the about window, or brings the open one to the front. */
    virtual void ShowAboutWindow() = 0;

    /** Runs call on the window's thread soon; callable from any thread, never runs call at once. */
    virtual void Post(std::function<void()> call) = 0;
    /** A run has ended and the window takes input again (tests and scripts wait for this). */
    virtual void RunEnded() {}
    /** Closes the window: it asks the presenter again, which now agrees. */
    virtual void CloseWindow() = 0;
};

}  // namespace quernfold
