#pragma once

#include <functional>
#include <string_view>

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
 * The window's side of the run's boxes (RunBoxes does the waiting): a box is shown after the log lines still
 * waiting to be painted, so it never runs ahead of the log, and calls from the worker reach the window's thread.
 */
class WindowBoxes final {
public:
    WindowBoxes(QWidget* owner, MessagePresenter& presenter, LogPane& log);
    /** The window's thread only. */
    void Show(std::string_view text, std::string_view title, MessageIcon icon);
    /** Any thread: call runs on the owner's thread once its event loop gets to it. */
    void Post(std::function<void()> call);

private:
    QWidget* m_owner;
    MessagePresenter& m_presenter;
    LogPane& m_log;
};

}  // namespace quernfold
