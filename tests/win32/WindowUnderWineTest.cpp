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

/**
 * A message box of the given process once it is shown (a box found while the system still builds it may lose a
 * click sent to it), or null after 20 seconds.
 */
HWND WaitForBox(DWORD processId, const wchar_t* title) {
    for (int i = 0; i < 400; ++i) {
        for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", title); box;
             box = FindWindowExW(nullptr, box, L"#32770", title)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner == processId && IsWindowVisible(box)) return box;
        }
        Sleep(50);
    }
    return nullptr;
}

/** A message box's text: its one static control with text (the icon is a static control without). */
std::wstring BoxText(HWND box) {
    for (HWND text = FindWindowExW(box, nullptr, L"Static", nullptr); text;
         text = FindWindowExW(box, text, L"Static", nullptr)) {
        if (!TextOf(text).empty()) return TextOf(text);
    }
    return L"";
}

/** Presses a box's button as a click on it does. */
void Press(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
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

/** The titles of a process's visible top-level windows and their static texts, for a failure's message. */
std::string OpenWindows(DWORD processId) {
    struct Found {
        DWORD processId;
        std::wstring text;
    } found{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& found = *reinterpret_cast<Found*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != found.processId || !IsWindowVisible(window)) return TRUE;
            found.text += L"[" + TextOf(window);
            for (HWND child = FindWindowExW(window, nullptr, L"Static", nullptr); child;
                 child = FindWindowExW(window, child, L"Static", nullptr)) {
                found.text += L" | " + TextOf(child);
            }
            found.text += L"] ";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    std::string utf8(found.text.size() * 3, '\0');
    utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, found.text.data(),
                                                             static_cast<int>(found.text.size()), utf8.data(),
                                                             static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

/** Where the program keeps its settings: %APPDATA%\Quernfold\config.ini. */
std::wstring ConfigPath() {
    wchar_t appData[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    return std::wstring(appData) + L"\\Quernfold\\config.ini";
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
        // Every test starts as on a first start: no settings of an earlier test.
        DeleteFileW(ConfigPath().c_str());
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
            const bool ended = WaitForSingleObject(m_process, 10000) == WAIT_OBJECT_0;
            EXPECT_TRUE(ended) << "still open: " << OpenWindows(GetProcessId(m_process));
            // A program left running would answer the next test's start as the first copy.
            if (!ended) TerminateProcess(m_process, 1);
            CloseHandle(m_process);
        }
    }
    HWND Control(const FormControl& control) const {
        const auto index = &control - MainFormControls().data();
        return GetDlgItem(m_window, kFirstControlId + static_cast<int>(index));
    }
    int Scaled(int twips) const { return MulDiv(twips, static_cast<int>(m_dpi), 1440); }
    HWND Named(std::string_view name) const {
        for (const FormControl& control : MainFormControls()) {
            if (control.name == name) return Control(control);
        }
        return nullptr;
    }
    DWORD ProcessId() const { return GetProcessId(m_process); }
    void SetText(std::string_view name, const std::wstring& text) const {
        SendMessageW(Named(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    /** A click on a button as the user makes it: the button tells its window. */
    void Click(std::string_view name) const {
        HWND button = Named(name);
        PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    /** Alt+key typed into the window, as the keyboard sends it; false when the window could not get the focus. */
    bool PressAccessKey(WORD key) const {
        SetForegroundWindow(m_window);
        for (int i = 0; i < 100 && GetForegroundWindow() != m_window; ++i) Sleep(50);
        if (GetForegroundWindow() != m_window) return false;
        INPUT keys[4] = {};
        const WORD codes[4] = {VK_MENU, key, key, VK_MENU};
        for (int i = 0; i < 4; ++i) {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = codes[i];
            keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        }
        return SendInput(4, keys, sizeof(INPUT)) == 4;
    }
    /** A left click in the middle of a control, as the mouse sends it. */
    bool ClickWithMouse(std::string_view name) const {
        SetForegroundWindow(m_window);
        RECT area;
        GetWindowRect(Named(name), &area);
        SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
        INPUT clicks[2] = {};
        clicks[0].type = clicks[1].type = INPUT_MOUSE;
        clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        return SendInput(2, clicks, sizeof(INPUT)) == 2;
    }
    /** The colour on the screen at a point of the client area given in twips. */
    COLORREF PixelAt(int leftTwips, int topTwips) const {
        POINT at{Scaled(leftTwips), Scaled(topTwips)};
        ClientToScreen(m_window, &at);
        HDC screen = GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, at.x, at.y);
        ReleaseDC(nullptr, screen);
        return colour;
    }
    /** The window takes input again once a run has ended: the start button is enabled. */
    bool WaitForRunEnd() const {
        for (int i = 0; i < 600; ++i) {
            if (IsWindowEnabled(Named("cmdConvert")) && IsWindowEnabled(Named("wwwUrl"))) return true;
            Sleep(50);
        }
        return false;
    }

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

/** Runs quernfold-cli.exe quietly on site into output; its exit status. */
DWORD RunCli(const std::wstring& site, const std::wstring& output) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION cli{};
    std::wstring command = L"\"" + OnDriveZ(QUERNFOLD_CLI) + L"\" -q \"" + site + L"\" \"" + output + L"\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &cli)) {
        return 255;
    }
    DWORD status = 255;
    if (WaitForSingleObject(cli.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(cli.hProcess, &status);
    CloseHandle(cli.hThread);
    CloseHandle(cli.hProcess);
    return status;
}

/** A site of many small pages, so that a run lasts while the test acts on the window. */
std::wstring ManyPagesSite(int pages) {
    const std::wstring site = FreshFolder(L"qf-many-");
    const std::string page = "<html><body><a href=\"p0.jsp\">first</a><% int n = 1; %></body></html>\r\n";
    for (int i = 0; i < pages; ++i) {
        HANDLE file = CreateFileW((site + L"\\p" + std::to_wstring(i) + L".jsp").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, page.data(), static_cast<DWORD>(page.size()), &written, nullptr);
        CloseHandle(file);
    }
    return site;
}

TEST_F(WindowUnderWine, ConversionFromTheWindowGivesTheCliTree) {
    const std::wstring site = OnDriveZ(QUERNFOLD_EXAMPLE_SITE);
    const std::wstring fromWindow = FreshFolder(L"qf-window-");
    const std::wstring fromCli = FreshFolder(L"qf-cli-");
    SetText("wwwUrl", site);
    SetText("outputDir", fromWindow);
    // Started as a user starts it from the keyboard: Alt+C, the start button's access key.
    ASSERT_TRUE(PressAccessKey('C'));
    HWND box = WaitForBox(ProcessId(), L"提示");
    ASSERT_NE(box, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(box).rfind(L"文件转换完成，成功：", 0), 0u) << OpenWindows(ProcessId());
    Press(box, IDOK);
    EXPECT_TRUE(WaitForRunEnd());
    // The window's log received the run's lines; the progress bar is hidden again and the frame's face shows
    // where it was, as it does in the rest of both frames.
    EXPECT_NE(TextOf(Named("outText")).find(L"其中：成功"), std::wstring::npos);
    EXPECT_FALSE(IsWindowVisible(Named("Bar1")));
    Sleep(500);  // the repaint after the box closed
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(PixelAt(5475, 6300), face) << "where the progress bar was";
    EXPECT_EQ(PixelAt(10680, 1800), face) << "inside the settings frame";
    EXPECT_EQ(PixelAt(10680, 4900), face) << "inside the conversion frame";
    // Again into the same folder (the run that finds its earlier record), started with the mouse.
    ASSERT_TRUE(ClickWithMouse("cmdConvert"));
    box = WaitForBox(ProcessId(), L"提示");
    ASSERT_NE(box, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(box).rfind(L"文件转换完成，成功：", 0), 0u) << OpenWindows(ProcessId());
    Press(box, IDOK);
    EXPECT_TRUE(WaitForRunEnd());

    EXPECT_EQ(RunCli(site, fromCli), 0u);
    std::map<std::wstring, std::string> windowTree, cliTree;
    ReadTree(fromWindow, L"", windowTree);
    ReadTree(fromCli, L"", cliTree);
    EXPECT_FALSE(windowTree.empty());
    EXPECT_EQ(windowTree.size(), cliTree.size());
    EXPECT_TRUE(windowTree == cliTree);
}

TEST_F(WindowUnderWine, RefusedRunShowsItsBoxAndTheWindowCarriesOn) {
    SetText("wwwUrl", OnDriveZ(QUERNFOLD_EXAMPLE_SITE));
    SetText("outputDir", L"");
    Click("cmdConvert");
    HWND box = WaitForBox(ProcessId(), L"提醒");
    ASSERT_NE(box, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(box), L"未指定转换结果存放目录！");
    Press(box, IDOK);
    EXPECT_TRUE(WaitForRunEnd());
    // The save-log button's own refusal, shown by the window's thread itself.
    Click("cmdSaveLog");
    box = WaitForBox(ProcessId(), L"提醒");
    ASSERT_NE(box, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(box), L"未指定转换结果存放目录！");
    Press(box, IDOK);
}

TEST_F(WindowUnderWine, ClosingDuringRunAsksAndNoKeepsTheRun) {
    SetText("wwwUrl", ManyPagesSite(400));
    SetText("outputDir", FreshFolder(L"qf-many-out-"));
    Click("cmdConvert");
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    HWND question = WaitForBox(ProcessId(), L"提示");
    ASSERT_NE(question, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(question), L"转换正在进行，确定要中止转换吗？");
    Press(question, IDNO);
    for (int i = 0; i < 200 && IsWindow(question); ++i) Sleep(50);
    // The run goes on to its summary; the window stays.
    HWND box = WaitForBox(ProcessId(), L"提示");
    ASSERT_NE(box, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(box).rfind(L"文件转换完成，成功：400", 0), 0u) << OpenWindows(ProcessId());
    Press(box, IDOK);
    EXPECT_TRUE(WaitForRunEnd());
    EXPECT_EQ(WaitForSingleObject(m_process, 500), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(WindowUnderWine, ClosingDuringRunAndYesStopsItAndCloses) {
    SetText("wwwUrl", ManyPagesSite(400));
    SetText("outputDir", FreshFolder(L"qf-many-out-"));
    Click("cmdConvert");
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    HWND question = WaitForBox(ProcessId(), L"提示");
    ASSERT_NE(question, nullptr) << OpenWindows(ProcessId());
    EXPECT_EQ(BoxText(question), L"转换正在进行，确定要中止转换吗？");
    Press(question, IDYES);
    // The stopped run's boxes are not shown: the window closes once the run has ended, and the program with it.
    EXPECT_EQ(WaitForSingleObject(m_process, 30000), WAIT_OBJECT_0) << OpenWindows(ProcessId());
}

TEST_F(WindowUnderWine, SecondCopyIsRefusedWithTheNotice) {
    HANDLE second = Start();
    ASSERT_NE(second, nullptr);
    HWND box = WaitForBox(GetProcessId(second), L"提示");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), L"本软件已经在运行！");
    Press(box, IDOK);
    EXPECT_EQ(WaitForSingleObject(second, 10000), WAIT_OBJECT_0);
    CloseHandle(second);
    // The first copy is left as it was.
    EXPECT_TRUE(IsWindowVisible(m_window));
}

}  // namespace
