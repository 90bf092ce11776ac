#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QThread>

#include "ui/InterfaceFont.h"
#include "ui/LogPane.h"

namespace quernfold {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QMessageBoxPresenter::Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    if (icon == MessageIcon::Information) {
        boxIcon = QMessageBox::Information;
    } else if (icon == MessageIcon::Stop) {
        boxIcon = QMessageBox::Critical;
    }
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    // A box is a window of its own and takes no font from its owner.
    box.setFont(InterfaceFont());
    box.exec();
}

WindowMessageSink::WindowMessageSink(QWidget* owner, MessagePresenter& presenter, LogPane& log)
    : m_owner(owner), m_presenter(presenter), m_log(log) {}

void WindowMessageSink::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
    const QString boxText = FromUtf8(text);
    const QString boxTitle = FromUtf8(title);
    const auto show = [&] {
        m_log.Flush();
        m_presenter.Present(m_owner, boxText, boxTitle, icon);
    };
    if (QThread::currentThread() == m_owner->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(m_owner, show, Qt::BlockingQueuedConnection);
    }
}

}  // namespace quernfold
