// quernfold.exe's window built in the test's own process: what the system hands only to the window's process
// (a dropped folder's HDROP, the log pane's character format) and the settings file's place and the one-time
// import of the old settings, with the environment pointed at folders of the test.
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "settings/Rwini.h"
#include "ui/core/MainForm.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/RichLog.h"
#include "ui/win32/WinSettings.h"
#include "ui/win32/WinText.h"

namespace {

using quernfold::Rwini;
using quernfold::win32::Utf8;
using quernfold::win32::Wide;

constexpr int kFirstControlId = 100;

/** A fresh empty folder in the temporary folder. */
std::wstring FreshFolder(const wchar_t* name) {
    static int serial = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++serial);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes.substr(0, read);
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

/** What the shell hands a window when files are dropped on it: the paths at a point of its client area. */
HDROP MakeDrop(const std::vector<std::wstring>& paths, POINT at) {
    std::size_t characters = 1;
    for (const std::wstring& path : paths) characters += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = at;
    drop->fNC = FALSE;
    drop->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& path : paths) {
        std::copy(path.begin(), path.end(), out);
        out += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

class WindowInProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        LoadLibraryW(L"Msftedit.dll");
    }
    void SetUp() override {
        m_folder = FreshFolder(L"qf-inprocess-");
        m_settings = std::make_unique<Rwini>(Utf8(m_folder + L"\\config.ini"));
        m_window = std::make_unique<quernfold::win32::MainWindow>(GetModuleHandleW(nullptr), *m_settings,
                                                                    "C:\\app\\", "C:\\out\\");
        ASSERT_TRUE(m_window->Open(SW_SHOWNOACTIVATE));
    }
    void TearDown() override {
        if (m_window && m_window->Handle()) DestroyWindow(m_window->Handle());
        m_window.reset();
        // The window ends the message loop it believes it runs in; nothing of that may reach the next test.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND Named(std::string_view name) const {
        const auto controls = quernfold::MainFormControls();
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (controls[i].name == name) return GetDlgItem(m_window->Handle(), kFirstControlId + static_cast<int>(i));
        }
        return nullptr;
    }
    /** The middle of a control, in the window's client coordinates, where a drop lands on it. */
    POINT MiddleOf(std::string_view name) const {
        RECT area;
        GetWindowRect(Named(name), &area);
        MapWindowPoints(nullptr, m_window->Handle(), reinterpret_cast<POINT*>(&area), 2);
        return {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    }

    std::wstring m_folder;
    std::unique_ptr<Rwini> m_settings;
    std::unique_ptr<quernfold::win32::MainWindow> m_window;
};

TEST_F(WindowInProcess, DroppedFolderFillsTheBoxItLandsOnAndIsStored) {
    const std::wstring site = FreshFolder(L"qf-drop-site-");
    const std::wstring other = FreshFolder(L"qf-drop-other-");
    const std::wstring file = site + L"\\index.jsp";
    WriteBytes(file, "<html></html>\r\n");
    struct Case {
        const char* what;
        std::vector<std::wstring> paths;
        const char* target;
        std::wstring siteBox, outputBox;  // the boxes' texts after the drop
    };
    const std::wstring siteBefore = L"C:\\app\\", outputBefore = L"C:\\out\\";
    const Case cases[] = {
        {"a file is not a folder", {file}, "wwwUrl", siteBefore, outputBefore},
        {"two folders at once", {site, other}, "wwwUrl", siteBefore, outputBefore},
        {"a folder beside the boxes", {site}, "outText", siteBefore, outputBefore},
        {"a folder that does not exist", {site + L"\\gone"}, "outputDir", siteBefore, outputBefore},
        {"a folder on the site root's box", {site}, "wwwUrl", site, outputBefore},
        {"a folder on the output folder's box", {other}, "outputDir", site, other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SendMessageW(m_window->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(c.paths, MiddleOf(c.target))),
                     0);
        EXPECT_EQ(TextOf(Named("wwwUrl")), c.siteBox);
        EXPECT_EQ(TextOf(Named("outputDir")), c.outputBox);
        // A dropped folder is stored at once, as a picked one is.
        EXPECT_EQ(m_settings->PeekIni("sys", "workPath").value_or(""), Utf8(c.siteBox));
        EXPECT_EQ(m_settings->PeekIni("sys", "outputDir").value_or(""), Utf8(c.outputBox));
    }
    EXPECT_NE(GetWindowLongW(m_window->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
}

TEST_F(WindowInProcess, LogPaneIsSimSunNinePointGb2312) {
    HWND pane = Named("outText");
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    SendMessageW(pane, EM_SETSEL, 0, -1);
    SendMessageW(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(std::wstring(format.szFaceName), L"SimSun");
    EXPECT_EQ(format.yHeight, 9 * 20);
    EXPECT_EQ(format.bCharSet, GB2312_CHARSET);
    EXPECT_EQ(TextOf(pane), L" ");
}

TEST_F(WindowInProcess, LogLinesFromAnotherThreadArriveInOrderAtTheNextFlush) {
    HWND pane = Named("outText");
    quernfold::win32::RichLog log(pane);
    std::thread worker([&log] {
        log.AppendLog("丢弃");
        log.ClearLog();
        for (int i = 1; i <= 3; ++i) log.AppendLog("第" + std::to_string(i) + "行");
    });
    worker.join();
    EXPECT_EQ(TextOf(pane), L" ");  // nothing painted from the worker's thread
    log.Flush();
    EXPECT_EQ(log.Text(), "\r\n第1行\r\n第2行\r\n第3行");
    const std::wstring shown = TextOf(pane);
    EXPECT_EQ(shown.find(L"丢弃"), std::wstring::npos);
    EXPECT_LT(shown.find(L"第1行"), shown.find(L"第3行"));
    // The appended lines keep the log's face.
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    SendMessageW(pane, EM_SETSEL, 0, -1);
    SendMessageW(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(std::wstring(format.szFaceName), L"SimSun");
    EXPECT_EQ(format.bCharSet, GB2312_CHARSET);
}

TEST_F(WindowInProcess, MenusHaveTheirItemsAndAnOptionIsCheckedAndStored) {
    HMENU bar = GetMenu(m_window->Handle());
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    const auto text = [](HMENU menu, int position) {
        wchar_t buffer[64] = L"";
        GetMenuStringW(menu, static_cast<UINT>(position), buffer, 64, MF_BYPOSITION);
        return std::wstring(buffer);
    };
    EXPECT_EQ(text(bar, 0), L"选项(&O)");
    EXPECT_EQ(text(bar, 1), L"帮助");
    HMENU options = GetSubMenu(bar, 0);
    HMENU help = GetSubMenu(bar, 1);
    ASSERT_EQ(GetMenuItemCount(options), 3);
    EXPECT_EQ(text(options, 0), L"同时复制静态文件(&A)");
    ASSERT_EQ(GetMenuItemCount(help), 2);
    EXPECT_EQ(text(help, 0), L"Varnholt简介");
    EXPECT_EQ(text(help, 1), L"关于...");

    // Choosing the first option checks it and stores it; choosing it again clears both.
    const UINT first = GetMenuItemID(options, 0);
    for (const bool on : {true, false}) {
        SendMessageW(m_window->Handle(), WM_COMMAND, MAKEWPARAM(first, 0), 0);
        EXPECT_EQ((GetMenuState(options, 0, MF_BYPOSITION) & MF_CHECKED) != 0, on);
        EXPECT_EQ(m_settings->PeekIni("sys", "copyAssets").value_or(""), on ? "1" : "0");
    }
}

/** The environment variables the old settings are looked up with, pointed at folders of the test. */
class OldSettings : public ::testing::Test {
protected:
    void SetUp() override {
        m_localAppData = FreshFolder(L"qf-local-");
        m_windows = FreshFolder(L"qf-windir-");
        CreateDirectoryW((m_localAppData + L"\\VirtualStore").c_str(), nullptr);
        CreateDirectoryW((m_localAppData + L"\\VirtualStore\\Windows").c_str(), nullptr);
        Remember(L"LOCALAPPDATA", m_localAppData);
        Remember(L"WINDIR", m_windows);
        m_config = Utf8(FreshFolder(L"qf-appdata-") + L"\\config.ini");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    void Remember(const wchar_t* name, const std::wstring& value) {
        wchar_t old[MAX_PATH] = L"";
        GetEnvironmentVariableW(name, old, MAX_PATH);
        m_saved.emplace_back(name, old);
        SetEnvironmentVariableW(name, value.c_str());
    }
    std::wstring VirtualStoreFile() const { return m_localAppData + L"\\VirtualStore\\Windows\\config.ini"; }
    std::wstring WindowsFile() const { return m_windows + L"\\config.ini"; }

    std::wstring m_localAppData, m_windows;
    std::string m_config;
    std::vector<std::pair<std::wstring, std::wstring>> m_saved;
};

// The old program's file: the ANSI code page (GBK here), CR LF, other sections and keys around ours.
const std::string kOldFile =
    "[other]\r\nworkPath=X:\\\r\n[sys]\r\nworkPath=D:\\\xCD\xF8\xD5\xBE\\\r\noutputDir=E:\\\xBE\xC9\\\r\n"
    "srcType=asp\r\noutputType=htm\r\nlastRun=1\r\n";

TEST_F(OldSettings, WindowsFolderFileIsReadOnceInTheAnsiCodePage) {
    WriteBytes(WindowsFile(), kOldFile);
    Rwini settings(m_config);
    EXPECT_EQ(quernfold::win32::ImportOldSettings(m_config, settings), Utf8(WindowsFile()));
    EXPECT_EQ(settings.PeekIni("sys", "workPath").value_or(""), "D:\\网站\\");
    EXPECT_EQ(settings.PeekIni("sys", "outputDir").value_or(""), "E:\\旧\\");
    EXPECT_EQ(settings.PeekIni("sys", "srcType").value_or(""), "asp");
    EXPECT_EQ(settings.PeekIni("sys", "outputType").value_or(""), "htm");
    EXPECT_FALSE(settings.PeekIni("sys", "lastRun").has_value());  // only the four choices
    // Ours is UTF-8 without a byte-order mark; the old file is never written.
    const std::string ours = ReadBytes(Wide(m_config));
    EXPECT_NE(ours.find("workPath=D:\\网站\\"), std::string::npos);
    EXPECT_NE(ours.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_EQ(ReadBytes(WindowsFile()), kOldFile);

    // Once ours exists the old file is not read again, whatever it holds by now.
    WriteBytes(WindowsFile(), "[sys]\r\nworkPath=F:\\\xD0\xC2\\\r\n");
    EXPECT_EQ(quernfold::win32::ImportOldSettings(m_config, settings), "");
    EXPECT_EQ(settings.PeekIni("sys", "workPath").value_or(""), "D:\\网站\\");
}

TEST_F(OldSettings, VirtualStoreComesFirstAndMissingKeysStayMissing) {
    WriteBytes(WindowsFile(), kOldFile);
    WriteBytes(VirtualStoreFile(), "[sys]\r\nsrcType=jsp\r\n");
    Rwini settings(m_config);
    EXPECT_EQ(quernfold::win32::ImportOldSettings(m_config, settings), Utf8(VirtualStoreFile()));
    EXPECT_EQ(settings.PeekIni("sys", "srcType").value_or(""), "jsp");
    // The window's load step gives the others their defaults.
    EXPECT_FALSE(settings.PeekIni("sys", "workPath").has_value());
    EXPECT_FALSE(settings.PeekIni("sys", "outputType").has_value());
}

TEST_F(OldSettings, NoOldFileImportsNothing) {
    Rwini settings(m_config);
    EXPECT_EQ(quernfold::win32::ImportOldSettings(m_config, settings), "");
    EXPECT_EQ(ReadBytes(Wide(m_config)), "<missing>");
}

TEST(SettingsPlace, ConfigIniIsInTheRoamingAppDataQuernfoldFolder) {
    PWSTR roaming = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming)));
    const std::string expected = Utf8(std::wstring(roaming) + L"\\Quernfold\\config.ini");
    CoTaskMemFree(roaming);
    EXPECT_EQ(quernfold::win32::WindowsConfigPath(), expected);
    const DWORD folder = GetFileAttributesW(Wide(expected.substr(0, expected.size() - 11)).c_str());
    EXPECT_TRUE(folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace
