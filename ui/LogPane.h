#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <QObject>
#include <QTimer>

#include "engine/log/Sinks.h"
#include "ui/core/WindowLog.h"

class QPlainTextEdit;

namespace quernfold {

/**
 * The log pane as the engine's log. Lines may come from the run's worker thread; they wait in a queue and are
 * painted in batches (every 50 ms while a run goes on, and before any message box), so a fast run does not
 * flood the window with one repaint per line. Besides the pane it keeps the log text exactly as the engine
 * defines it (CR LF before every line), which is what the save-log button writes.
 */
class LogPane final : public QObject, public LogSink {
    Q_OBJECT

public:
    LogPane(QPlainTextEdit* pane, const QString& initialText, QObject* parent = nullptr);

    // Any thread.
    void ClearLog() override;
    void AppendLog(std::string_view line) override;

    // The pane's thread only.
    void StartBatching();
    void StopBatching();
    void Flush();
    /** The log text as shown, with CR LF line breaks; call Flush first to include the lines still waiting. */
    const std::string& Text() const { return m_log.Text(); }

private:
    QPlainTextEdit* m_pane;
    QTimer m_timer;

    WindowLog m_log;
};

}  // namespace quernfold
