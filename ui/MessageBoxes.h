#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "engine/log/Sinks.h"

class QWidget;

namespace quernfold {

class LogPane;

/** Shows one modal message box; tests put a recorder in its place to answer the boxes. */
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    /** A box with an OK button; returns when the user has closed it. owner may be null (start-up). */
    virtual void Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) = 0;
    /** A question with the question icon and the buttons 是 and 否; true when the user chose 是. */
    virtual bool Ask(QWidget* owner, const QString& text, const QString& title) = 0;
};

/** The real boxes: QMessageBox with the stop icon (Critical), the information icon, the question icon or none. */
class QMessageBoxPresenter final : public MessagePresenter {
public:
    void Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) override;
    bool Ask(QWidget* owner, const QString& text, const QString& title) override;
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

    // While the window asks the user something, the run's boxes wait (the run does not); afterwards they are
    // shown, or, when the window is about to close, dropped with every later one. Window thread only.
    void HoldBoxes() { m_holding = true; }
    void ShowHeldBoxes();
    void DropBoxes();

private:
    struct Box {
        std::string text;
        std::string title;
        MessageIcon icon;
    };
    void Show(const Box& box);

    QWidget* m_owner;
    MessagePresenter& m_presenter;
    LogPane& m_log;
    bool m_holding = false;
    bool m_dropping = false;
    std::vector<Box> m_held;
};

}  // namespace quernfold
