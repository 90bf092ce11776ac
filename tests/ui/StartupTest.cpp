#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string_view>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "app/CommandLine.h"
#include "app/InstanceGuard.h"
#include "app/Startup.h"
#include "settings/Rwini.h"
#include "tests/ui/TestSupport.h"
#include "ui/AboutUs.h"
#include "ui/FrmMain.h"

using namespace quernfold;
using namespace quernfold::test_support;

namespace {

/** Fails the first read, with a std::exception or, as some libraries do, with something else. */
class BrokenSettings final : public SettingsStore {
public:
    explicit BrokenSettings(bool standard) : m_standard(standard) {}
    std::string ReadIni(std::string_view, std::string_view, std::string_view) override {
        if (m_standard) throw std::runtime_error("config.ini unreadable");
        throw 42;
    }
    void WriteIni(std::string_view, std::string_view, std::string_view) override {}

private:
    bool m_standard;
};

/** This test program started again with --hold-lock: another copy of the program, as far as the lock goes. */
class LockHolder {
public:
    explicit LockHolder(const QString& lockPath) {
        m_process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock"), lockPath});
    }
    ~LockHolder() { Kill(); }
    bool WaitUntilHeld() {
        while (m_process.waitForReadyRead(10000)) {
            if (m_process.readAllStandardOutput().contains("held")) return true;
        }
        return false;
    }
    void Kill() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();  // SIGKILL: the copy gets no chance to remove its lock
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingPresenter m_presenter;
    ScriptedFolderPicker m_picker;

    QString LockPath() const { return m_dir->filePath(QStringLiteral("quernfold.lock")); }
    QString IniPath(const QString& name = QStringLiteral("config.ini")) const { return m_dir->filePath(name); }

    StartupOptions Options(const QString& iniPath) {
        StartupOptions options;
        options.lockPath = LockPath();
        options.openSettings = [iniPath] { return std::make_unique<Rwini>(iniPath.toStdString()); };
        options.defaultOutputDir = "/home/tester/";
        options.messages = &m_presenter;
        options.folders = &m_picker;
        return options;
    }

    void VerifyRefusal() {
        QCOMPARE(m_presenter.boxes.size(), 1);
        QCOMPARE(m_presenter.boxes[0].text, QStringLiteral("本软件已经在运行！"));
        QCOMPARE(m_presenter.boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(m_presenter.boxes[0].icon, MessageIcon::None);
        QCOMPARE(m_presenter.boxes[0].owner, nullptr);
    }

private slots:
    void commandLineAnswersHelpAndVersionOnly_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("answerStart");  // empty: no answer, the window opens
        const QString usage = QStringLiteral("Usage: quernfold [--help] [--version]\n");
        const QString version = QStringLiteral("quernfold " QUERNFOLD_VERSION "\n");
        QTest::newRow("nothing") << QStringList{QStringLiteral("quernfold")} << QString();
        QTest::newRow("--help") << QStringList{QStringLiteral("quernfold"), QStringLiteral("--help")} << usage;
        QTest::newRow("-h") << QStringList{QStringLiteral("quernfold"), QStringLiteral("-h")} << usage;
        QTest::newRow("--version") << QStringList{QStringLiteral("quernfold"), QStringLiteral("--version")} << version;
        // Anything else is ignored, as before: it neither answers nor stops the answer.
        QTest::newRow("unknown ignored")
            << QStringList{QStringLiteral("quernfold"), QStringLiteral("--bogus"), QStringLiteral("site")} << QString();
        QTest::newRow("unknown before --version")
            << QStringList{QStringLiteral("quernfold"), QStringLiteral("--bogus"), QStringLiteral("--version")}
            << version;
    }

    void commandLineAnswersHelpAndVersionOnly() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, answerStart);
        const std::optional<std::string> answer = CommandLineAnswer(arguments);
        QCOMPARE(answer.has_value(), !answerStart.isEmpty());
        if (answer) {
            QVERIFY2(QString::fromStdString(*answer).startsWith(answerStart), answer->c_str());
        }
    }

    void versionIsAnsweredWithoutADisplayWhileAnotherCopyRuns() {
        // Another copy holds the per-user lock; there is no display to open a window on.
        InstanceGuard other(InstanceGuard::DefaultLockPath());
        other.TryAcquire();  // without the lock (a real copy runs) the answer must come all the same
        for (const char* option : {"--version", "--help"}) {
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(QStringLiteral("DISPLAY"));
            environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(QUERNFOLD_GUI), {QLatin1String(option)});
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            const QByteArray out = program.readAllStandardOutput();
            QVERIFY2(out.startsWith(std::string_view(option) == "--version" ? "quernfold " QUERNFOLD_VERSION "\n"
                                                                             : "Usage: quernfold"),
                     out.constData());
        }
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_presenter.boxes.clear();
    }

    void firstCopyShowsTheLoadedWindowWithAppPathAsSiteRoot() {
        Startup startup(Options(IniPath()));
        QCOMPARE(startup.Main(), StartResult::Running);
        QVERIFY(startup.MainWindow() && startup.MainWindow()->isVisible());
        const std::string appPath = QCoreApplication::applicationDirPath().toStdString() + "/";
        QCOMPARE(startup.AppPath(), appPath);
        QCOMPARE(startup.MainWindow()->findChild<QLineEdit*>(QStringLiteral("wwwUrl"))->text(),
                 QString::fromStdString(appPath));
        QVERIFY(QFile::exists(IniPath()));
        QVERIFY(m_presenter.boxes.isEmpty());
    }

    void appPathGetsExactlyOneTrailingSeparator() {
        QCOMPARE(AppPathOf(QStringLiteral("/opt/quernfold/bin")), std::string("/opt/quernfold/bin/"));
        QCOMPARE(AppPathOf(QStringLiteral("/")), std::string("/"));
    }

    void secondCopyIsRefusedWithoutTouchingTheSettings() {
        Startup first(Options(IniPath()));
        QCOMPARE(first.Main(), StartResult::Running);
        Startup second(Options(IniPath(QStringLiteral("second.ini"))));
        QCOMPARE(second.Main(), StartResult::AlreadyRunning);
        VerifyRefusal();
        QVERIFY(!second.MainWindow());
        QVERIFY(!QFile::exists(IniPath(QStringLiteral("second.ini"))));
        QVERIFY(first.MainWindow()->isVisible());
    }

    void copyInAnotherProcessRefusesUntilItIsKilled() {
        LockHolder other(LockPath());
        QVERIFY(other.WaitUntilHeld());
        {
            Startup refused(Options(IniPath()));
            QCOMPARE(refused.Main(), StartResult::AlreadyRunning);
            VerifyRefusal();
        }
        other.Kill();
        QVERIFY(QFile::exists(LockPath()));  // the killed copy left its lock behind
        m_presenter.boxes.clear();
        Startup next(Options(IniPath()));
        QCOMPARE(next.Main(), StartResult::Running);
        QVERIFY(m_presenter.boxes.isEmpty());
    }

    void failureDuringStartupIsReportedAndNoWindowStays_data() {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<QString>("text");
        QTest::newRow("std::exception") << true << "运行时异常：config.ini unreadable";
        QTest::newRow("anything else thrown") << false << "运行时异常：未知错误";
    }

    void failureDuringStartupIsReportedAndNoWindowStays() {
        QFETCH(bool, standard);
        QFETCH(QString, text);
        StartupOptions options = Options(IniPath());
        options.openSettings = [standard] { return std::make_unique<BrokenSettings>(standard); };
        Startup startup(std::move(options));
        QCOMPARE(startup.Main(), StartResult::Failed);
        QCOMPARE(m_presenter.boxes.size(), 1);
        QCOMPARE(m_presenter.boxes[0].text, text);
        QCOMPARE(m_presenter.boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(m_presenter.boxes[0].icon, MessageIcon::None);
        QVERIFY(!startup.MainWindow());
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(!qobject_cast<FrmMain*>(widget) || !widget->isVisible());
        }
    }

    void programEndsOnlyWhenTheAboutWindowClosesToo() {
        Startup startup(Options(IniPath()));
        QCOMPARE(startup.Main(), StartResult::Running);
        FrmMain* window = startup.MainWindow();
        window->findChild<QAction*>(QStringLiteral("menu1_2"))->trigger();

        bool runningAfterMainClosed = false;
        bool aboutOpenAfterMainClosed = false;
        bool aboutClosed = false;
        QTimer::singleShot(0, window, [&] {
            window->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
            QTimer::singleShot(200, [&] {
                runningAfterMainClosed = true;  // the event loop is still going
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* about = qobject_cast<AboutUs*>(widget); about && about->isVisible()) {
                        aboutOpenAfterMainClosed = true;
                        aboutClosed = true;
                        about->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
                    }
                }
            });
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(2); });
        watchdog.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!window->isVisible());
        QVERIFY(runningAfterMainClosed);
        QVERIFY(aboutOpenAfterMainClosed);
        QVERIFY(aboutClosed);
    }
};

int main(int argc, char* argv[]) {
    if (argc == 3 && std::string_view(argv[1]) == "--hold-lock") {
        QCoreApplication application(argc, argv);
        InstanceGuard guard(QString::fromLocal8Bit(argv[2]));
        if (!guard.TryAcquire() || !guard.IsHeld()) {
            return 3;
        }
        std::puts("held");
        std::fflush(stdout);
        for (;;) {
            QThread::sleep(1);
        }
    }
    QApplication application(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StartupTest.moc"
