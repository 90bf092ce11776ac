#pragma once

#include <string>
#include <string_view>

namespace quernfold {

/** Receives each log line as it is appended (the window's pane, the CLI's stdout, a --log file, tests). */
class LogSink {
public:
    virtual ~LogSink() = default;
    /** The log is cleared at the start of every run. */
    virtual void ClearLog() = 0;
    /** Appends one line: the log text becomes old text + CR LF + line. The line is UTF-8. */
    virtual void AppendLog(std::string_view line) = 0;
};

/**
 * The progress bar: maximum = fileCount + 1, minimum 0, visible; value i after page i. With static files the
 * range starts again at 0 with maximum = their number + 1, value i after file i. Hidden at the end.
 */
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetRange(long long minimum, long long maximum) = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual void SetValue(long long value) = 0;
};

enum class MessageIcon { None, Information, Stop };

/** Modal message boxes with one OK button; returns when the user has closed it. */
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

}  // namespace quernfold
