#include <QApplication>

#include "app/Startup.h"
#include "engine/StandardStreams.h"
#include "ui/AppIcon.h"
#include "ui/ChineseQtTexts.h"
#include "ui/DirWindow.h"
#include "ui/MessageBoxes.h"

int main(int argc, char* argv[]) {
    quernfold::OpenClosedStandardStreams();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(quernfold::ProductIcon());
    QApplication::setDesktopFileName(QStringLiteral("quernfold"));
    // Without Qt's translation files the buttons say "OK": a loss of polish, not a reason to refuse to start.
    quernfold::InstallChineseQtTexts();

    quernfold::QMessageBoxPresenter messages;
    quernfold::DirWindow folders;
    quernfold::Startup startup(quernfold::DefaultStartupOptions(messages, folders));
    if (startup.Main() != quernfold::StartResult::Running) {
        return 1;
    }
    return QApplication::exec();
}
