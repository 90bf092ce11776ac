#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>

#include "engine/run/ConversionRun.h"
#include "ui/core/WindowView.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quernfold {

class AboutUs;
class FolderPicker;
class LogPane;
class MessagePresenter;
class ProgressRelay;
class SettingsStore;
class WindowBoxes;
class WindowPresenter;

/** What the main window works with; tests hand in their own picker, message boxes and settings file. */
struct FrmMainContext {
    SettingsStore& settings;
    FolderPicker& folders;
    MessagePresenter& messages;
    std::string appPath;           // the program's folder with a trailing separator: the site root's default
    std::string defaultOutputDir;  // the output folder's default
};

/**
 * The main window as Qt draws it; what it does is the WindowPresenter's, which drives it through WindowView.
 * The four choices, the log pane, the progress bar and the buttons that start a conversion,
 * save the log and quit. A conversion runs on a worker thread; meanwhile the window keeps painting the log
 * and the progress, the log can be read and scrolled and 帮助 opens, but nothing that would change or start a
 * run takes input except 退出: quitting (or closing the window) during a run asks whether to stop it, and closes
 * the window once the stopped run has written its summary.
 */
class FrmMain final : public QMainWindow, private WindowView {
    Q_OBJECT

public:
    /** Builds the window and runs its load step; a failure there is the start-up's to report. */
    explicit FrmMain(const FrmMainContext& context, QWidget* parent = nullptr);
    ~FrmMain() override;

    bool IsConverting() const;
    const RunResult& LastRun() const;
    /** The log text with its CR LF line breaks, as the save-log button writes it. */
    std::string LogText() override;

signals:
    void ConversionFinished();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void CentreOnScreen();
    void ShowInstructionColour();
    QLineEdit* Box(FolderBox box) const;

    // The view the presenter drives.
    std::string BoxText(FolderBox box) const override;
    void SetBoxText(FolderBox box, const std::string& text) override;
    std::string SourceTypeText() const override;
    std::string OutputTypeText() const override;
    void ShowSourceTypes(const std::vector<std::string>& items, int selected) override;
    void ShowOutputTypes(const std::vector<std::string>& items, int selected) override;
    void ShowOption(WindowOption option, bool checked) override;
    QAction* AddOption(QMenu* menu, const QString& text, const char* objectName, WindowOption option);
    void ShowConverting(bool converting) override;
    std::string PickFolder(const std::string& title, const std::string& boxText) override;
    void ShowBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool Ask(const std::string& text, const std::string& title) override;
    void OpenWebAddress(const std::string& address) override;
    void OpenLocalFile(const std::string& path) override;
    void ShowReportAvailable(bool available) override;
    void ShowAboutWindow() override;
    void Post(std::function<void()> call) override;
    void RunEnded() override;
    void CloseWindow() override;

    FolderPicker& m_folders;
    MessagePresenter& m_boxes;
    std::unique_ptr<WindowBoxes> m_windowBoxes;

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
    QAction* m_options[std::size(kWindowOptions)] = {};
    QMenu* m_optionsMenu = nullptr;
    QAction* m_viewReport = nullptr;  // 操作 → 查看转换报告, enabled after a completed run
    QLabel* m_label5 = nullptr;

    LogPane* m_log = nullptr;
    ProgressRelay* m_progress = nullptr;
    QPointer<AboutUs> m_about;
    QPointer<QWidget> m_focusBeforeRun;

    std::unique_ptr<WindowPresenter> m_behaviour;  // last: destroyed first, waiting for a run still going
};

}  // namespace quernfold
