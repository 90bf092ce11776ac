#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quernfold {

/**
 * The window's log between the run and the pane. Lines come from any thread (the run's worker) and wait here
 * until the window's thread takes them in a batch to paint; taking a batch also adds it to the log text the
 * save-log button writes, so that text is always exactly what the pane shows.
 */
class WindowLog {
public:
    explicit WindowLog(std::string initialText) : m_text(std::move(initialText)) {}

    // Any thread.
    void Clear();
    void Append(std::string_view line);

    struct Batch {
        bool cleared = false;  // the pane is to be emptied before the lines are added
        std::vector<std::string> lines;
    };
    /** The window's thread: what waited since the last batch, now part of Text(). */
    Batch Take();
    /** The log text with CR LF line breaks, up to the last batch taken. */
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
    std::mutex m_mutex;
    bool m_clearPending = false;
    std::vector<std::string> m_pendingLines;
};

}  // namespace quernfold
