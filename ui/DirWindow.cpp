#include "ui/DirWindow.h"

#include <QFileDialog>

namespace quernfold {

QString DirWindow::BrowseForFolder(QWidget* owner, const QString& title) {
    // The title keeps the trailing blank the folder dialog has always been given.
    return QFileDialog::getExistingDirectory(owner, title + QLatin1Char(' '), QString(), QFileDialog::ShowDirsOnly);
}

}  // namespace quernfold
