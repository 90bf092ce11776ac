// quernfold.exe started as a user starts it, its window read back through the Win32 API: every control's place,
// size and text against the form's table, the tab order, the menus, the log's font, one copy per user.
#include <algorithm>
#include <map>
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

/** A control's text, asked of the control itself: GetWindowText does not ask another program's controls. */
std::wstring TextOf(HWND window) {
    const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title) {
    for (int i = 0; i < 300; ++i) {
        if (HWND found = FindWindowW(className, title)) return found;
        Sleep(50);
    }
    return nullptr;
}

/** A path of the build machine as Wine shows it: the whole file system is drive Z:. */
std::wstring OnDriveZ(std::string_view unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

/** Every file below folder with its bytes, by its path relative to folder. */
void ReadTree(const std::wstring& folder, const std::wstring& relative, std::map<std::wstring, std::string>& tree) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ReadTree(folder + L"\\" + name, relative + name + L"/", tree);
            continue;
        }
        HANDLE file = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        std::string bytes(found.nFileSizeLow, '\0');
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        tree[relative + name] = bytes.substr(0, read);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

/** A fresh empty folder in the temporary folder. */
std::wstring FreshFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetTickCount());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
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
    EXPECT_EQ(CompareStringOrdinal(className, -1, MSFTEDIT_CLASS, -1, TRUE), CSTR_EQUAL);
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

TEST_F(WindowUnderWine, ConversionFromTheWindowGivesTheCliTree) {
    const std::wstring site = OnDriveZ(QUERNFOLD_EXAMPLE_SITE);
    const std::wstring fromWindow = FreshFolder(L"qf-window-");
    const std::wstring fromCli = FreshFolder(L"qf-cli-");
    const auto control = [&](std::string_view name) {
        for (const FormControl& c : MainFormControls()) {
            if (c.name == name) return Control(c);
        }
        return HWND{};
    };
    SendMessageW(control("wwwUrl"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(site.c_str()));
    SendMessageW(control("outputDir"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fromWindow.c_str()));
    PostMessageW(control("cmdConvert"), BM_CLICK, 0, 0);
    HWND box = WaitForWindow(L"#32770", L"提示");
    ASSERT_NE(box, nullptr);
    HWND text = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (text && TextOf(text).empty()) text = FindWindowExW(box, text, L"Static", nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextOf(text).rfind(L"文件转换完成，成功：", 0), 0u);
    PostMessageW(box, WM_COMMAND, IDOK, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION cli{};
    std::wstring command = L"\"" + OnDriveZ(QUERNFOLD_CLI) + L"\" -q \"" + site + L"\" \"" + fromCli + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &cli));
    EXPECT_EQ(WaitForSingleObject(cli.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(cli.hThread);
    CloseHandle(cli.hProcess);

    std::map<std::wstring, std::string> windowTree, cliTree;
    ReadTree(fromWindow, L"", windowTree);
    ReadTree(fromCli, L"", cliTree);
    EXPECT_FALSE(windowTree.empty());
    EXPECT_EQ(windowTree.size(), cliTree.size());
    EXPECT_TRUE(windowTree == cliTree);
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
