#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QString>

#include "app/InstanceGuard.h"

namespace quernfold {

class FolderPicker;
class FrmMain;
class MessagePresenter;
class SettingsStore;

enum class StartResult {
    Running,         // the main window is shown; the event loop takes over
    AlreadyRunning,  // another copy holds the lock: "本软件已经在运行！", end now
    Failed,          // start-up failed: "运行时异常：" + the description, end now
};

/** What the start-up needs from outside; tests pass a lock and a settings file of their own. */
struct StartupOptions {
    QString lockPath;
    std::function<std::unique_ptr<SettingsStore>()> openSettings;
    std::string appPath;  // empty: the folder of the running executable
    std::string defaultOutputDir;
    MessagePresenter* messages = nullptr;
    FolderPicker* folders = nullptr;
};

/** The program's folder with a trailing separator (a folder that already ends in one gets no second). */
std::string AppPathOf(const QString& executableFolder);

/** The desktop program's options: the per-user lock and config.ini, the home folder as output default. */
StartupOptions DefaultStartupOptions(MessagePresenter& messages, FolderPicker& folders);

/** The program's start and the objects that live as long as it runs. */
class Startup {
public:
    explicit Startup(StartupOptions options);
    ~Startup();

    /** Refuses a second copy, sets appPath, creates and shows the main window; the result says what follows. */
    StartResult Main();

    FrmMain* MainWindow() const { return m_window.get(); }
    const std::string& AppPath() const { return m_appPath; }

private:
    StartResult Fail(std::string_view description);  // "运行时异常：" + description, no window left

    StartupOptions m_options;
    InstanceGuard m_guard;
    std::string m_appPath;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<FrmMain> m_window;
};

}  // namespace quernfold
