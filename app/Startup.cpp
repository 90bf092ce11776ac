#include "app/Startup.h"

#include <exception>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>

#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"
#include "settings/Rwini.h"
#include "ui/FrmMain.h"
#include "ui/MessageBoxes.h"

namespace quernfold {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string AppPathOf(const QString& executableFolder) {
    return WithTrailingSeparator(executableFolder.toStdString(), kNativeSeparator);
}

StartupOptions DefaultStartupOptions(MessagePresenter& messages, FolderPicker& folders) {
    StartupOptions options;
    options.lockPath = InstanceGuard::DefaultLockPath();
    options.openSettings = [] { return std::make_unique<Rwini>(DefaultConfigPath()); };
    // The home folder exists and is writable, as the old default drive was.
    options.defaultOutputDir = WithTrailingSeparator(QDir::homePath().toStdString(), kNativeSeparator);
    options.messages = &messages;
    options.folders = &folders;
    return options;
}

Startup::Startup(StartupOptions options) : m_options(std::move(options)), m_guard(m_options.lockPath) {}

Startup::~Startup() = default;

StartResult Startup::Main() {
    const QString notice = FromUtf8(kTitleNotice);
    try {
        if (!m_guard.TryAcquire()) {
            m_options.messages->Present(nullptr, FromUtf8(kAlreadyRunningText), notice, MessageIcon::None);
            return StartResult::AlreadyRunning;
        }
        m_appPath = m_options.appPath.empty() ? AppPathOf(QCoreApplication::applicationDirPath()) : m_options.appPath;
        m_settings = m_options.openSettings();
        m_window = std::make_unique<FrmMain>(FrmMainContext{*m_settings, *m_options.folders, *m_options.messages,
                                                            m_appPath, m_options.defaultOutputDir});
        m_window->show();
    } catch (const std::exception& failure) {
        return Fail(failure.what());
    } catch (...) {
        // Whatever else was thrown still ends the start-up with the box, not with a silent crash.
        return Fail(kUnknownFailureText);
    }
    // Closing the main window ends the program unless the about window is still open.
    QGuiApplication::setQuitOnLastWindowClosed(true);
    return StartResult::Running;
}

StartResult Startup::Fail(std::string_view description) {
    m_window.reset();
    m_options.messages->Present(nullptr, FromUtf8(RuntimeFailureText(description)), FromUtf8(kTitleNotice),
                                MessageIcon::None);
    return StartResult::Failed;
}

}  // namespace quernfold
