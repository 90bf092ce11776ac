#pragma once

#include <memory>
#include <string>

#include <QMainWindow>
#include <QPointer>

#include "engine/run/ConversionRun.h"
#include "engine/run/RunState.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace quernfold {

class AboutUs;
class FolderPicker;
class LogPane;
class MessagePresenter;
class ProgressRelay;
class SettingsStore;
class WindowMessageSink;

/** What the main window works with; tests hand in their own picker, message boxes and settings file. */
struct FrmMainContext {
    SettingsStore& settings;
    FolderPicker& folders;
    MessagePresenter& messages;
    std::string appPath;           // the program's folder with a trailing separator: the site root's default
    std::string defaultOutputDir;  // the output folder's default
};

/**
 * The main window: the four choices, the log pane, the progress bar and the buttons that start a conversion,
 * save the log and quit. A conversion runs on a worker thread; meanwhile the window keeps painting the log
 * and the progress, the log can be read and scrolled and 帮助 opens, but nothing that would change or start a
 * run takes input except 退出: quitting (or closing the window) during a run asks whether to stop it, and closes
 * the window once the stopped run has written its summary.
 */
class FrmMain final : public QMainWindow {
    Q_OBJECT

public:
    /** Builds the window and runs its load step; a failure there is the start-up's to report. */
    explicit FrmMain(const FrmMainContext& context, QWidget* parent = nullptr);
    ~FrmMain() override;

    bool IsConverting() const { return m_worker != nullptr; }
    const RunResult& LastRun() const { return m_lastRun; }
    /** The log text with its CR LF line breaks, as the save-log button writes it. */
    std::string LogText() const;

signals:
    void ConversionFinished();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void LoadSettings();
    void CentreOnScreen();

    void BrowseSiteRoot();
    void BrowseOutputDir();
    void SetSiteRoot(const QString& folder);  // shows a picked or dropped folder and stores it at once
    void SetOutputDir(const QString& folder);
    void Convert();
    void OnConversionThreadFinished();
    void SaveLog();
    void OpenMakerSite();
    void ShowAbout();
    void ToggleCopyAssets(bool on);
    void SetConverting(bool converting);
    void ShowInstructionColour();

    SettingsStore& m_settings;
    FolderPicker& m_folders;
    MessagePresenter& m_presenter;
    std::string m_appPath;
    std::string m_defaultOutputDir;

    QComboBox* m_srcType = nullptr;
    QLineEdit* m_wwwUrl = nullptr;
    QPushButton* m_cmdSetWWW = nullptr;
    QComboBox* m_outputType = nullptr;
    QLineEdit* m_outputDir = nullptr;
    QPushButton* m_command2 = nullptr;
    QPlainTextEdit* m_outText = nullptr;
    QPushButton* m_cmdConvert = nullptr;
    QPushButton* m_cmdSaveLog = nullptr;
    QPushButton* m_command3 = nullptr;
    QProgressBar* m_bar1 = nullptr;
    QAction* m_copyAssets = nullptr;
    QMenu* m_optionsMenu = nullptr;
    QLabel* m_label5 = nullptr;

    LogPane* m_log = nullptr;
    ProgressRelay* m_progress = nullptr;
    std::unique_ptr<WindowMessageSink> m_messages;
    QPointer<AboutUs> m_about;
    QPointer<QWidget> m_focusBeforeRun;

    RunState m_state;
    RunResult m_lastRun;
    QThread* m_worker = nullptr;
    std::string m_workerFailure;  // an exception that escaped the engine, reported once the run has ended
    bool m_closeAfterRun = false;  // the user chose to stop the run and close the window
};

}  // namespace quernfold
