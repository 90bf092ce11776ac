#include "ui/LogPane.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace quernfold {

namespace {

constexpr int kBatchIntervalMs = 50;

}  // namespace

LogPane::LogPane(QPlainTextEdit* pane, const QString& initialText, QObject* parent)
    : QObject(parent), m_pane(pane), m_log(initialText.toStdString()) {
    m_pane->setPlainText(initialText);
    m_timer.setInterval(kBatchIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LogPane::Flush);
}

void LogPane::ClearLog() { m_log.Clear(); }

void LogPane::AppendLog(std::string_view line) { m_log.Append(line); }

void LogPane::StartBatching() {
    m_timer.start();
}

void LogPane::StopBatching() {
    m_timer.stop();
    Flush();
}

void LogPane::Flush() {
    const WindowLog::Batch batch = m_log.Take();
    if (batch.cleared) {
        m_pane->clear();
    }
    if (batch.lines.empty()) {
        return;
    }
    QString shown;
    for (const auto& line : batch.lines) {
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
