// Renders the main window (fresh, and after converting a site) and the about window to PNG files, for the
// documentation. Run it under a display server (scripts/screenshot.sh uses Xvfb): what it draws is what a user
// with the same fonts sees.
#include <cstdio>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "settings/Rwini.h"
#include "ui/AboutUs.h"
#include "ui/AppIcon.h"
#include "ui/DirWindow.h"
#include "ui/FrmMain.h"
#include "ui/MessageBoxes.h"

namespace {

/** The boxes are not part of the pictures: each is answered at once. */
class SilentPresenter final : public quernfold::MessagePresenter {
public:
    void Present(QWidget*, const QString&, const QString&, quernfold::MessageIcon) override {}
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
};

class NoFolders final : public quernfold::FolderPicker {
public:
    QString BrowseForFolder(QWidget*, const QString&, const QString&) override { return QString(); }
};

void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Save(QWidget* widget, const QString& path) {
    const bool saved = widget->grab().save(path, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(path));
    return saved;
}

/** A dark desktop theme, as GNOME's and KDE's dark themes colour a window. */
QPalette DarkPalette() {
    QPalette dark;
    const QColor window(0x2d, 0x2d, 0x2d), base(0x1e, 0x1e, 0x1e), text(0xee, 0xee, 0xee);
    for (const auto& [role, colour] : {std::pair{QPalette::Window, window}, {QPalette::WindowText, text},
                                       {QPalette::Base, base}, {QPalette::AlternateBase, window},
                                       {QPalette::Text, text}, {QPalette::Button, QColor(0x3a, 0x3a, 0x3a)},
                                       {QPalette::ButtonText, text}, {QPalette::Highlight, QColor(0x35, 0x84, 0xe4)},
                                       {QPalette::HighlightedText, QColor(Qt::white)},
                                       {QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a)}}) {
        dark.setColor(role, colour);
    }
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
}

/** Opens the about window from window's help menu, saves its picture and closes it. */
bool SaveAboutWindow(quernfold::FrmMain& window, const QString& path) {
    window.findChild<QAction*>(QStringLiteral("menu1_2"))->trigger();
    Settle(500);
    bool saved = false;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* about = qobject_cast<quernfold::AboutUs*>(widget); about && about->isVisible()) {
            saved = Save(about, path);
            about->close();
        }
    }
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [SITE_ROOT [CONVERSION_OUTPUT_FOLDER]]\n", argv[0]);
        return 2;
    }
    QApplication::setWindowIcon(quernfold::ProductIcon());
    const QDir outputFolder(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir scratch;
    QDir(scratch.path()).mkdir(QStringLiteral("out"));
    const QString conversionOutput =
        argc >= 4 ? QDir(QString::fromLocal8Bit(argv[3])).absolutePath() : scratch.filePath(QStringLiteral("out"));

    quernfold::Rwini settings(scratch.filePath(QStringLiteral("config.ini")).toStdString());
    SilentPresenter messages;
    NoFolders folders;
    quernfold::FrmMain window(quernfold::FrmMainContext{settings, folders, messages, "/opt/quernfold/bin/",
                                                        (conversionOutput + QLatin1Char('/')).toStdString()});
    window.show();
    Settle(500);
    bool ok = Save(&window, outputFolder.filePath(QStringLiteral("main-window.png")));

    if (argc >= 3) {
        const QString site = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
        window.findChild<QLineEdit*>(QStringLiteral("wwwUrl"))->setText(site);
        QEventLoop run;
        QObject::connect(&window, &quernfold::FrmMain::ConversionFinished, &run, &QEventLoop::quit);
        window.findChild<QPushButton*>(QStringLiteral("cmdConvert"))->click();
        run.exec();
        Settle(300);
        ok = Save(&window, outputFolder.filePath(QStringLiteral("main-window-after-run.png"))) && ok;
    }

    ok = SaveAboutWindow(window, outputFolder.filePath(QStringLiteral("about-window.png"))) && ok;

    // The window after the run on a dark desktop: its colours follow the palette, "操作说明：" a lighter blue.
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    Settle(300);
    ok = Save(&window, outputFolder.filePath(QStringLiteral("main-window-dark.png"))) && ok;
    QApplication::setPalette(light);

    // The same windows on a desktop whose font is 11 pt (GNOME, Ubuntu, Deepin): the windows keep their own.
    QFont desktop = QApplication::font();
    desktop.setPointSize(11);
    QApplication::setFont(desktop);
    quernfold::FrmMain larger(quernfold::FrmMainContext{settings, folders, messages, "/opt/quernfold/bin/",
                                                        (conversionOutput + QLatin1Char('/')).toStdString()});
    larger.show();
    Settle(500);
    ok = Save(&larger, outputFolder.filePath(QStringLiteral("main-window-desktop-font-11pt.png"))) && ok;
    ok = SaveAboutWindow(larger, outputFolder.filePath(QStringLiteral("about-window-desktop-font-11pt.png"))) && ok;
    return ok ? 0 : 1;
}
