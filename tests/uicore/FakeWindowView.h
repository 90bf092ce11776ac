#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/log/Sinks.h"
#include "ui/core/WindowView.h"

namespace quernfold::test_support {

/** The log pane: keeps the text as the engine defines it; lines may come from the run's worker. */
class RecordingLog final : public LogSink {
public:
    void ClearLog() override;
    void AppendLog(std::string_view line) override;
    std::string Text() const;

    /** The first line starting with prefix keeps the run's worker waiting in AppendLog until Release. */
    void HoldAt(std::string prefix);
    /** Waits until the held line has arrived; false after the timeout. */
    bool WaitUntilHeld(std::chrono::seconds timeout = std::chrono::seconds(30));
    void Release();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_text = " ";
    std::string m_holdAt;
    bool m_holding = false;
    bool m_released = false;
};

/** The progress bar as calls: "range 0 4", "show", "value 1", "hide". */
class RecordingProgress final : public ProgressSink {
public:
    void SetRange(long long minimum, long long maximum) override;
    void SetVisible(bool visible) override;
    void SetValue(long long value) override;
    std::vector<std::string> Calls() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

/**
 * A window without a toolkit: its controls are fields, its dialogs are answered by the test, and its event
 * loop is Pump, which runs what the presenter posted, as a window's thread would.
 */
class FakeWindowView final : public WindowView {
public:
    struct Box {
        std::string text;
        std::string title;
        MessageIcon icon;
        bool converting;       // whether the window showed a run going when the box opened
        std::string logShown;  // the log as painted when the box opened
    };

    explicit FakeWindowView(RecordingLog& log) : m_log(log) {}

    std::string BoxText(FolderBox box) const override { return folders[Index(box)]; }
    void SetBoxText(FolderBox box, const std::string& text) override { folders[Index(box)] = text; }
    std::string SourceTypeText() const override { return sourceType; }
    std::string OutputTypeText() const override { return outputType; }
    void ShowSourceTypes(const std::vector<std::string>& items, int selected) override;
    void ShowOutputTypes(const std::vector<std::string>& items, int selected) override;
    void ShowOption(WindowOption option, bool checked) override { options[static_cast<int>(option)] = checked; }
    void ShowConverting(bool on) override;
    std::string LogText() override { return m_log.Text(); }
    std::string PickFolder(const std::string& title, const std::string& boxText) override;
    void ShowBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool Ask(const std::string& text, const std::string& title) override;
    void OpenWebAddress(const std::string& address) override { addresses.push_back(address); }
    void OpenLocalFile(const std::string& path) override { filesOpened.push_back(path); }
    void ShowReportAvailable(bool available) override { reportAvailable.push_back(available); }
    void ShowAboutWindow() override { ++aboutShown; }
    void Post(std::function<void()> call) override;
    void RunEnded() override { ++runsEnded; }
    void CloseWindow() override { ++closeCalls; }

    /** Runs posted calls until done() holds; false when it still does not after the timeout. */
    bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds timeout = std::chrono::seconds(30));

    std::string folders[2];
    std::string sourceType;
    std::string outputType;
    std::vector<std::string> sourceItems;
    std::vector<std::string> outputItems;
    bool options[3] = {};
    bool converting = false;
    std::vector<bool> convertingShown;
    std::vector<Box> boxes;
    std::function<void(const Box&)> onBox;
    std::vector<Box> questions;
    std::function<bool()> onAsk;  // 否 when unset
    std::vector<std::string> pickerTitles;
    std::vector<std::string> pickerStarts;
    std::deque<std::string> pickerAnswers;  // then "" (cancelled)
    std::vector<std::string> addresses;
    std::vector<std::string> filesOpened;
    std::vector<bool> reportAvailable;
    int aboutShown = 0;
    int runsEnded = 0;
    int closeCalls = 0;

private:
    static int Index(FolderBox box) { return box == FolderBox::SiteRoot ? 0 : 1; }

    RecordingLog& m_log;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_queue;
};

}  // namespace quernfold::test_support
