#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <windows.h>

#include "ui/core/WindowView.h"

namespace quernfold {

class SettingsStore;
class WindowPresenter;

namespace win32 {

class AboutWindow;
class PostedProgress;
class RichLog;

/**
 * frmMain made of the system's own controls: every control at its place in twips, scaled by the monitor's
 * DPI; the log a RichEdit in SimSun 9 pt (GB2312). What it does is the WindowPresenter's; this class only
 * draws and forwards.
 */
class MainWindow final : public WindowView {
public:
    MainWindow(HINSTANCE instance, SettingsStore& settings, std::string appPath, std::string defaultOutputDir);
    ~MainWindow() override;

    /** Creates, loads and shows the window; false when the system refused to create it. */
    bool Open(int showCommand);
    HWND Handle() const { return m_window; }
    /** For the message loop: dialog keys (Tab, access keys) of this window and the about window. */
    bool HandleDialogMessage(MSG& message);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void CreateMenuBar();
    void Layout();
    void OnCommand(int id);
    void OnDrop(HDROP drop);
    HWND Control(std::string_view name) const;
    int Px(int twips) const { return MulDiv(twips, static_cast<int>(m_dpi), 1440); }

    // The view the presenter drives.
    std::string BoxText(FolderBox box) const override;
    void SetBoxText(FolderBox box, const std::string& text) override;
    std::string SourceTypeText() const override;
    std::string OutputTypeText() const override;
    void ShowSourceTypes(const std::vector<std::string>& items, int selected) override;
    void ShowOutputTypes(const std::vector<std::string>& items, int selected) override;
    void ShowOption(WindowOption option, bool checked) override;
    void ShowConverting(bool converting) override;
    std::string LogText() override;
    std::string PickFolder(const std::string& title, const std::string& boxText) override;
    void ShowBox(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool Ask(const std::string& text, const std::string& title) override;
    void OpenWebAddress(const std::string& address) override;
    void ShowReportAvailable(bool available) override;
    void ShowAboutWindow() override;
    void Post(std::function<void()> call) override;
    void CloseWindow() override;

    HINSTANCE m_instance;
    SettingsStore& m_settings;
    std::string m_appPath;
    std::string m_defaultOutputDir;
    HWND m_window = nullptr;
    HMENU m_menu = nullptr;
    HMENU m_optionsMenu = nullptr;
    HMENU m_actionsMenu = nullptr;
    UINT m_dpi = 96;
    HFONT m_font = nullptr;
    HWND m_focusBeforeRun = nullptr;
    std::map<std::string, HWND, std::less<>> m_controls;  // by name; "Label8#1" for a label group's members
    std::unique_ptr<RichLog> m_log;
    std::unique_ptr<PostedProgress> m_progress;
    std::unique_ptr<AboutWindow> m_about;
    std::unique_ptr<WindowPresenter> m_presenter;  // last: destroyed first, waiting for a run still going
};

}  // namespace win32
}  // namespace quernfold
