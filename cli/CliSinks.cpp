#include "cli/CliSinks.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <ostream>

#include "engine/log/LogLines.h"
#include "engine/platform/AtomicFile.h"

namespace quernfold {

namespace {

constexpr int kFewestCells = 10;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

TerminalProgress::TerminalProgress(std::ostream& err, std::ostream* flushFirst, int columns)
    : m_err(err), m_flushFirst(flushFirst), m_columns(columns) {}

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
    // The last page's value is always drawn, so the bar ends full.
    if (m_visible) Draw(value + 1 >= m_maximum);
}

void TerminalProgress::Erase() {
    if (m_drawnWidth == 0) return;
    m_err << '\r' << std::string(m_drawnWidth, ' ') << '\r' << std::flush;
    m_drawnWidth = 0;
}

void TerminalProgress::Draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = now;
    // The maximum is one more than the number of pages, so the pages are counted against maximum - 1.
    const long long pages = std::max(0LL, m_maximum - m_minimum - 1);
    const long long done = std::clamp(m_value - m_minimum, 0LL, pages);
    // Built by appending: GCC 12 at -O3 misreads "x" + std::string as an overlapping copy (-Wrestrict).
    std::string count = " ";
    count.append(std::to_string(done)).append("/").append(std::to_string(pages));
    // "[", the cells, "]", the count as wide as it gets, and the last column left free.
    const long long cells =
        std::max<long long>(kFewestCells, m_columns - 3 - static_cast<long long>(2 * std::to_string(pages).size() + 2));
    const long long filled = pages > 0 ? done * cells / pages : 0;
    std::string text = "[";
    text.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(cells - filled), '.');
    text.append("]").append(count);
    const std::size_t width = text.size();
    if (width < m_drawnWidth) text.append(m_drawnWidth - width, ' ');
    if (m_flushFirst) m_flushFirst->flush();
    m_err << '\r' << text << std::flush;
    m_drawnWidth = std::max(width, m_drawnWidth);
}

void StreamLog::Check(bool wasGood) {
    if (m_out || m_status != Status::Written) return;
    // errno still holds the reason of the write that just failed; a stream that was bad before is a failure.
    m_status = wasGood && errno == EPIPE ? Status::ReaderGone : Status::Failed;
}

void StreamLog::AppendLog(std::string_view line) {
    if (m_status == Status::ReaderGone) return;
    const bool wasGood = static_cast<bool>(m_out);
    errno = 0;
    if (m_bar) {
        m_bar->Erase();
        m_out << line << '\n' << std::flush;
    } else {
        m_out << line << '\n';
    }
    Check(wasGood);
}

StreamLog::Status StreamLog::Finish() {
    if (m_status == Status::Written) {
        const bool wasGood = static_cast<bool>(m_out);
        errno = 0;
        m_out.flush();
        Check(wasGood);
    }
    return m_status;
}

void DiagnosticsLog::AppendLog(std::string_view line) {
    const bool warningBanner = line == WarningBannerLine();
    if (!warningBanner && !m_warningFollows && !IsPageFailedLine(line) && !IsStaticFileFailedLine(line)) return;
    m_warningFollows = warningBanner;
    if (m_bar) m_bar->Erase();
    m_err << kProgramPrefix << line << '\n' << std::flush;
}

void BeforeSummaryNote::AppendLog(std::string_view line) {
    if (m_note.empty() || line != SummaryBannerLine()) return;
    if (m_bar) m_bar->Erase();
    m_err << kProgramPrefix << m_note << '\n' << std::flush;
    m_note.clear();
}

LogFileWriter::LogFileWriter(const std::string& path)
    : m_file(CreateAtomicFile(path, WritePolicy::LogFile())) {}

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

void StreamMessages::ShowMessage(std::string_view text, std::string_view title, MessageIcon /*icon*/) {
    if (m_bar) m_bar->Erase();
    if (title == kTitleReminder || title == kTitleError) m_err << kProgramPrefix;
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
