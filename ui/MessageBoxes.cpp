#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

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

bool QMessageBoxPresenter::Ask(QWidget* owner, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setFont(InterfaceFont());
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

WindowBoxes::WindowBoxes(QWidget* owner, MessagePresenter& presenter, LogPane& log)
    : m_owner(owner), m_presenter(presenter), m_log(log) {}

void WindowBoxes::Show(std::string_view text, std::string_view title, MessageIcon icon) {
    m_log.Flush();
    m_presenter.Present(m_owner, FromUtf8(text), FromUtf8(title), icon);
}

void WindowBoxes::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(m_owner, std::move(call), Qt::QueuedConnection);
}

}  // namespace quernfold
