#pragma once

#include <string_view>

#include <QString>

#include "engine/Sinks.h"

class QWidget;

namespace quernfold {

class LogPane;

/** Shows one modal message box with an OK button; tests put a recorder in its place to answer the boxes. */
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    /** Returns when the user has closed the box. owner may be null (start-up, before there is a window). */
    virtual void Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) = 0;
};

/** The real boxes: QMessageBox with the stop icon (Critical), the information icon or none. */
class QMessageBoxPresenter final : public MessagePresenter {
public:
    void Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) override;
};

/**
 * The window's message boxes for the engine. Callable from the run's worker thread: the box is then shown on
 * the window's thread and the worker waits until it is closed, as the run expects of a modal box. The log
 * lines still waiting to be painted are shown first, so the box never runs ahead of the log.
 */
class WindowMessageSink final : public MessageSink {
public:
    WindowMessageSink(QWidget* owner, MessagePresenter& presenter, LogPane& log);
    void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

private:
    QWidget* m_owner;
    MessagePresenter& m_presenter;
    LogPane& m_log;
};

}  // namespace quernfold
