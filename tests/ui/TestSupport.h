#pragma once

#include <functional>
#include <string>

#include <QList>
#include <QString>
#include <QStringList>

#include "ui/DirWindow.h"
#include "ui/MessageBoxes.h"

namespace quernfold::test_support {

/** Answers every message box at once and remembers it; onPresent runs while the box would be open. */
class RecordingPresenter final : public MessagePresenter {
public:
    struct Box {
        QString text;
        QString title;
        MessageIcon icon;
        QWidget* owner;
    };

    void Present(QWidget* owner, const QString& text, const QString& title, MessageIcon icon) override;
    /** Records the question as a box with no icon; onAsk gives the answer (否 when there is none). */
    bool Ask(QWidget* owner, const QString& text, const QString& title) override;

    QList<Box> boxes;
    std::function<void(const Box&)> onPresent;
    QList<Box> questions;
    std::function<bool(const Box&)> onAsk;
};

/** Answers the folder picker with the queued folders, then with "" (a cancelled dialog). */
class ScriptedFolderPicker final : public FolderPicker {
public:
    QString BrowseForFolder(QWidget* owner, const QString& title, const QString& boxText) override;

    QStringList answers;
    QStringList titles;
    QStringList boxTexts;
    QList<QWidget*> owners;
};

/** The shared file helpers with the window's path type; both throw when they cannot. */
std::string ReadBytes(const QString& path);
void WriteBytes(const QString& path, const std::string& bytes);

}  // namespace quernfold::test_support
