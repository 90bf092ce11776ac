#include <QApplication>

#include "app/Startup.h"
#include "engine/StandardStreams.h"
#include "ui/AppIcon.h"
#include "ui/DirWindow.h"
#include "ui/MessageBoxes.h"

int main(int argc, char* argv[]) {
    quernfold::OpenClosedStandardStreams();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(quernfold::ProductIcon());
    QApplication::setDesktopFileName(QStringLiteral("quernfold"));

    quernfold::QMessageBoxPresenter messages;
    quernfold::DirWindow folders;
    quernfold::Startup startup(quernfold::DefaultStartupOptions(messages, folders));
    if (startup.Main() != quernfold::StartResult::Running) {
        return 1;
    }
    return QApplication::exec();
}
