#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "engine/log/Sinks.h"
#include "ui/core/WindowLog.h"

namespace quernfold::win32 {

/**
 * The RichEdit log pane as the engine's log. Lines may come from the run's worker thread; they wait in a
 * queue and the window's thread paints them in batches (a timer while a run goes on, and before any message
 * box). Besides the pane it keeps the log text exactly as the engine defines it, which the save-log button
 * writes.
 */
class RichLog final : public LogSink {
public:
    explicit RichLog(HWND pane);

    // Any thread.
    void ClearLog() override;
    void AppendLog(std::string_view line) override;

    // The window's thread only.
    void Flush();
    const std::string& Text() const { return m_log.Text(); }

private:
    HWND m_pane;
    WindowLog m_log{" "};
};

/** The progress bar as the engine's progress: the calls are posted to the window, which sets the bar. */
class PostedProgress final : public ProgressSink {
public:
    static constexpr UINT kMessage = WM_APP + 2;
    enum Operation : WPARAM { kRangeMaximum, kVisible, kValue };

    explicit PostedProgress(HWND window) : m_window(window) {}
    void SetRange(long long minimum, long long maximum) override;
    void SetVisible(bool visible) override;
    void SetValue(long long value) override;
    /** The window's side: applies one posted call to the bar. */
    static void Apply(HWND bar, WPARAM operation, LPARAM value);

private:
    HWND m_window;
};

}  // namespace quernfold::win32
