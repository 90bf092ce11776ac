#pragma once

#include <QString>

class QWidget;

namespace quernfold {

/** Lets the user choose a folder. The window holds this interface, so tests can answer in the dialog's place. */
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    /** Modal to owner, shows title, folders only; the chosen folder's path, or "" when cancelled. */
    virtual QString BrowseForFolder(QWidget* owner, const QString& title) = 0;
};

/** The folder picker of the desktop: the platform's folder dialog. */
class DirWindow final : public FolderPicker {
public:
    QString BrowseForFolder(QWidget* owner, const QString& title) override;
};

}  // namespace quernfold
