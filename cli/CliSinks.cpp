#include "cli/CliSinks.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include "engine/OutputFile.h"

namespace quernfold {

namespace {

constexpr long long kBarCells = 40;
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

}  // namespace

TerminalProgress::TerminalProgress(std::ostream& err, std::ostream* flushFirst)
    : m_err(err), m_flushFirst(flushFirst) {}

void TerminalProgress::SetRange(long long minimum, long long maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
    m_value = minimum;
    if (m_visible) Draw(true);
}

void TerminalProgress::SetVisible(bool visible) {
    m_visible = visible;
    if (visible) {
        Draw(true);
    } else {
        Erase();
    }
}

void TerminalProgress::SetValue(long long value) {
    m_value = value;
    if (m_visible) Draw(value + 1 >= m_maximum);
}

void TerminalProgress::Erase() {
    if (m_drawnWidth == 0) return;
    m_err << '\r' << std::string(m_drawnWidth, ' ') << '\r' << std::flush;
    m_drawnWidth = 0;
}

void TerminalProgress::Draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    // A bar erased by a log line is drawn again at once; one still on screen only now and then.
    if (!force && m_drawnWidth > 0 && now - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = now;
    const long long span = std::max(1LL, m_maximum - m_minimum);
    const long long done = std::clamp(m_value - m_minimum, 0LL, span);
    const long long filled = done * kBarCells / span;
    // The maximum is one more than the number of pages, so the pages are counted against maximum - 1.
    const long long pages = std::max(0LL, m_maximum - m_minimum - 1);
    std::string text = "[";
    text.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(kBarCells - filled), '.');
    text.append("] ").append(std::to_string(std::min(done, pages))).append("/").append(std::to_string(pages));
    const std::size_t width = text.size();
    if (width < m_drawnWidth) text.append(m_drawnWidth - width, ' ');
    if (m_flushFirst) m_flushFirst->flush();
    m_err << '\r' << text << std::flush;
    m_drawnWidth = std::max(width, m_drawnWidth);
}

void StreamLog::AppendLog(std::string_view line) {
    if (m_bar) {
        m_bar->Erase();
        m_out << line << '\n' << std::flush;
    } else {
        m_out << line << '\n';
    }
}

LogFileWriter::LogFileWriter(const std::string& path)
    : m_file(std::make_unique<OutputFile>(path, WritePolicy::LogFile())) {}

LogFileWriter::~LogFileWriter() = default;

void LogFileWriter::AppendLog(std::string_view line) {
    if (m_failure) return;
    try {
        m_file->Write("\r\n");
        m_file->Write(line);
    } catch (const std::exception& failure) {
        m_failure = failure.what();
    }
}

std::optional<std::string> LogFileWriter::Finish() {
    if (!m_started) {
        m_file->Discard();
        return std::nullopt;
    }
    if (m_failure) {
        m_file->Discard();
        return m_failure;
    }
    try {
        m_file->Publish();
    } catch (const std::exception& failure) {
        m_file->Discard();
        m_failure = failure.what();
    }
    return m_failure;
}

void LogFanOut::ClearLog() {
    for (LogSink* sink : m_sinks) sink->ClearLog();
}

void LogFanOut::AppendLog(std::string_view line) {
    for (LogSink* sink : m_sinks) sink->AppendLog(line);
}

void StreamMessages::ShowMessage(std::string_view text, std::string_view /*title*/, MessageIcon /*icon*/) {
    if (m_bar) m_bar->Erase();
    m_err << TerminalText(text) << '\n' << std::flush;
}

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace quernfold
