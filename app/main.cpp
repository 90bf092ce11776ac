#include <cstdio>

#include <QApplication>

#include "app/CommandLine.h"
#include "app/Startup.h"
#include "engine/platform/StandardStreams.h"
#include "ui/AppIcon.h"
#include "ui/ChineseQtTexts.h"
#include "ui/DirWindow.h"
#include "ui/MessageBoxes.h"

int main(int argc, char* argv[]) {
    quernfold::OpenClosedStandardStreams();
    // --help and --version are answered before there is an application: no display, no single-instance check.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = quernfold::CommandLineAnswer(arguments)) {
        std::fputs(answer->c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
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
