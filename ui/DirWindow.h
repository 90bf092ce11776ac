#pragma once

#include <QString>

class QWidget;

namespace quernfold {

/** Lets the user choose a folder. The window holds this interface, so tests can answer in the dialog's place. */
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    /**
     * Modal to owner, shows title, folders only, opens at boxText's folder (see StartFolder); the chosen folder's
     * path, or "" when cancelled.
     */
    virtual QString BrowseForFolder(QWidget* owner, const QString& title, const QString& boxText) = 0;
};

/** Qt's own folder dialog, not the desktop's: it speaks Chinese on every desktop, as the rest of the window. */
class DirWindow final : public FolderPicker {
public:
    QString BrowseForFolder(QWidget* owner, const QString& title, const QString& boxText) override;
};

/** Where the picker opens: the folder named in a box (blanks around it ignored) when it exists, else home. */
QString StartFolder(const QString& boxText);

}  // namespace quernfold
