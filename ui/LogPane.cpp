#include "ui/LogPane.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace quernfold {

namespace {

constexpr int kBatchIntervalMs = 50;

}  // namespace

LogPane::LogPane(QPlainTextEdit* pane, const QString& initialText, QObject* parent)
    : QObject(parent), m_pane(pane), m_text(initialText.toStdString()) {
    m_pane->setPlainText(initialText);
    m_timer.setInterval(kBatchIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LogPane::Flush);
}

void LogPane::ClearLog() {
    std::lock_guard lock(m_mutex);
    // Lines queued before the clear would be wiped by it anyway.
    m_pendingLines.clear();
    m_clearPending = true;
}

void LogPane::AppendLog(std::string_view line) {
    std::lock_guard lock(m_mutex);
    m_pendingLines.emplace_back(line);
}

void LogPane::StartBatching() {
    m_timer.start();
}

void LogPane::StopBatching() {
    m_timer.stop();
    Flush();
}

void LogPane::Flush() {
    bool clear = false;
    std::vector<std::string> lines;
    {
        std::lock_guard lock(m_mutex);
        std::swap(clear, m_clearPending);
        lines.swap(m_pendingLines);
    }
    if (clear) {
        m_text.clear();
        m_pane->clear();
    }
    if (lines.empty()) {
        return;
    }
    QString shown;
    for (const auto& line : lines) {
        m_text += "\r\n";
        m_text += line;
        shown += QLatin1Char('\n');
        shown += QString::fromStdString(line);
    }
    // appendPlainText starts a new paragraph itself unless the pane is empty; the log's own leading line break
    // must only show once, as the empty first line of a cleared log.
    if (!m_pane->document()->isEmpty()) {
        shown.remove(0, 1);
    }
    // The pane follows the new lines only while the user has it scrolled to the bottom; scrolled back, it stays
    // where the user is reading.
    QScrollBar* bar = m_pane->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const int readingAt = bar->value();
    m_pane->appendPlainText(shown);
    bar->setValue(following ? bar->maximum() : readingAt);
}

}  // namespace quernfold
