#include "ui/DirWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "engine/text/AsciiText.h"

namespace quernfold {

QString StartFolder(const QString& boxText) {
    // Blanks around a folder are no part of it, as for a conversion.
    const std::string text = boxText.toStdString();
    const std::string_view trimmed = TrimSpaces(text);
    const QString folder = QString::fromUtf8(trimmed.data(), static_cast<qsizetype>(trimmed.size()));
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

QString DirWindow::BrowseForFolder(QWidget* owner, const QString& title, const QString& boxText) {
    // The title keeps the trailing blank the folder dialog has always been given.
    return QFileDialog::getExistingDirectory(owner, title + QLatin1Char(' '), StartFolder(boxText),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

}  // namespace quernfold
