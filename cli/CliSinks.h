#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log/Sinks.h"

namespace quernfold {

class PageOutput;

/**
 * The progress bar drawn on a terminal's last line, as wide as the terminal less one column (so it never wraps).
 * Log lines and messages written to the same terminal erase it first; a later page's value draws it again. It is
 * drawn at most ten times a second, so a run of many small pages is not slowed down by the terminal, and always
 * at its last value, with every cell filled when every page is done.
 */
class TerminalProgress : public ProgressSink {
public:
    /**
     * flushFirst: a stream to flush before each drawing (stdout, so the lines and the bar keep their order), or
     * null. columns: the terminal's width.
     */
    TerminalProgress(std::ostream& err, std::ostream* flushFirst, int columns);

    void SetRange(long long minimum, long long maximum) override;
    void SetVisible(bool visible) override;
    void SetValue(long long value) override;

    /** Removes the bar from the screen until the next value. */
    void Erase();

private:
    void Draw(bool force);

    std::ostream& m_err;
    std::ostream* m_flushFirst;
    long long m_minimum = 0;
    long long m_maximum = 0;
    long long m_value = 0;
    bool m_visible = false;
    int m_columns;
    std::size_t m_drawnWidth = 0;  // characters on screen; 0 when the bar is not shown
    std::chrono::steady_clock::time_point m_lastDraw{};
};

/** A progress sink that shows nothing (stderr is not a terminal). */
class NoProgress : public ProgressSink {
public:
    void SetRange(long long, long long) override {}
    void SetVisible(bool) override {}
    void SetValue(long long) override {}
};


/**
 * Each log line followed by "\n" on stdout; the clear at the start of a run writes nothing. When the reader
 * goes away (EPIPE), it stops writing: the run goes on, and Finish says so.
 */
class StreamLog : public LogSink {
public:
    enum class Status { Written, ReaderGone, Failed };

    StreamLog(std::ostream& out, TerminalProgress* bar) : m_out(out), m_bar(bar) {}
    void ClearLog() override {}
    void AppendLog(std::string_view line) override;
    /** Flushes what is left and tells how writing went. */
    Status Finish();

private:
    void Check(bool wasGood);

    std::ostream& m_out;
    TerminalProgress* m_bar;
    Status m_status = Status::Written;
};

/**
 * With --quiet: the warnings and failures of the log still reach stderr, each line prefixed with the program's
 * name: every warning as its two lines, every failed page's line and every failed static file's line.
 */
class DiagnosticsLog : public LogSink {
public:
    DiagnosticsLog(std::ostream& err, TerminalProgress* bar) : m_err(err), m_bar(bar) {}
    void ClearLog() override {}
    void AppendLog(std::string_view line) override;

private:
    std::ostream& m_err;
    TerminalProgress* m_bar;
    bool m_warningFollows = false;
};

/** Writes a note on stderr just before the summary of the run (the first summary banner line). */
class BeforeSummaryNote : public LogSink {
public:
    BeforeSummaryNote(std::ostream& err, TerminalProgress* bar, std::string note)
        : m_err(err), m_bar(bar), m_note(std::move(note)) {}
    void ClearLog() override {}
    void AppendLog(std::string_view line) override;

private:
    std::ostream& m_err;
    TerminalProgress* m_bar;
    std::string m_note;
};

/**
 * The --log file: the log text in the form the save-log button writes (CR LF before every line, so it starts with
 * CR LF and never ends with a line break), streamed line by line and published when the run is over. Nothing of
 * the log is kept in memory. A failed write never reaches the run (it would be taken for a failure of the page
 * being converted); it is kept and reported by Finish.
 */
class LogFileWriter : public LogSink {
public:
    /** Opens the file (its temporary file, or the target itself when it is a pipe or a device). Throws. */
    explicit LogFileWriter(const std::string& path);
    ~LogFileWriter() override;

    void ClearLog() override { m_started = true; }
    void AppendLog(std::string_view line) override;

    /**
     * Publishes the file when a run started the log (it was cleared), and throws it away otherwise (a refused
     * run leaves an earlier log file as it was). Returns the reason of the first failure, or nullopt.
     */
    std::optional<std::string> Finish();
    /** Throws the file away whatever the run did; an earlier file at the name stays. */
    void Abandon() { m_started = false; }

private:
    std::unique_ptr<PageOutput> m_file;
    bool m_started = false;
    std::optional<std::string> m_failure;
};

/** Hands each line to several sinks in turn. */
class LogFanOut : public LogSink {
public:
    void Add(LogSink& sink) { m_sinks.push_back(&sink); }
    void ClearLog() override;
    void AppendLog(std::string_view line) override;

private:
    std::vector<LogSink*> m_sinks;
};

/**
 * Message boxes as text on stderr: the text, a CR LF inside it written as "\n", then "\n". Refusals and errors
 * (the boxes titled "提醒" and "出错啦") are prefixed with the program's name, as its own errors are.
 */
class StreamMessages : public MessageSink {
public:
    StreamMessages(std::ostream& err, TerminalProgress* bar) : m_err(err), m_bar(bar) {}
    void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

private:
    std::ostream& m_err;
    TerminalProgress* m_bar;
};

/** A message text with its line breaks (CR LF, or a lone CR or LF) written as "\n". */
std::string TerminalText(std::string_view text);

/** "quernfold-cli: ", before every text of the program's own on stderr. */
inline constexpr std::string_view kProgramPrefix = "quernfold-cli: ";

}  // namespace quernfold
