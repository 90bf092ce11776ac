// The installer as an administrator uses it: silent into a chosen folder, both programs started from there, then
// the silent uninstaller (run with _? so that it is waited for) removing what was installed.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

std::wstring Wide(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::wstring OnDriveZ(std::string_view unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

/** Runs a command line and waits for it; its exit status, or -1 when it did not start or end in time. */
long RunAndWait(std::wstring command, DWORD flags = 0) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    DWORD status = 0;
    const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
    if (ended) GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended ? static_cast<long>(status) : -1;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    if (FAILED(SHGetKnownFolderPath(id, 0, nullptr, &path))) return L"";
    std::wstring result = path;
    CoTaskMemFree(path);
    return result;
}

bool UninstallEntryExists() {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quernfold",
                                      0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

/** The installed window starts and shows itself; closed again through its frame. */
::testing::AssertionResult WindowStartsFrom(const std::wstring& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + folder + L"\\quernfold.exe\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        return ::testing::AssertionFailure() << "quernfold.exe did not start";
    }
    HWND window = nullptr;
    for (int i = 0; i < 400 && !window; ++i) {
        for (HWND found = FindWindowExW(nullptr, nullptr, L"QuernfoldMainWindow", nullptr); found;
             found = FindWindowExW(nullptr, found, L"QuernfoldMainWindow", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == process.dwProcessId && IsWindowVisible(found)) window = found;
        }
        if (!window) Sleep(50);
    }
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!window) return ::testing::AssertionFailure() << "no window of the installed quernfold.exe";
    if (!ended) return ::testing::AssertionFailure() << "the installed quernfold.exe did not end when closed";
    return ::testing::AssertionSuccess();
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        const char* setup = std::getenv("QUERNFOLD_SETUP");
        ASSERT_NE(setup, nullptr) << "QUERNFOLD_SETUP names the installer (installer-test.sh sets it)";
        m_setup = OnDriveZ(setup);
        // A folder name with a blank and Chinese characters: /D takes the rest of the command line.
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"qf 安装 " + std::to_wstring(GetTickCount());
        m_shortcut = KnownFolder(FOLDERID_CommonPrograms) + L"\\网页转换.lnk";
        m_settings = KnownFolder(FOLDERID_RoamingAppData) + L"\\Quernfold\\config.ini";
    }
    long Install() const { return RunAndWait(L"\"" + m_setup + L"\" /S /D=" + m_folder); }
    long Uninstall(const std::wstring& options) const {
        return RunAndWait(L"\"" + m_folder + L"\\Uninstall.exe\" /S " + options + L" _?=" + m_folder);
    }

    std::wstring m_setup, m_folder, m_shortcut, m_settings;
};

const wchar_t* const kInstalled[] = {L"quernfold.exe", L"quernfold-cli.exe", L"README.md", L"LICENSE"};

TEST_F(Installer, SilentInstallStartsBothProgramsAndUninstallRemovesThemKeepingSettings) {
    ASSERT_EQ(Install(), 0);
    for (const wchar_t* file : kInstalled) EXPECT_TRUE(Exists(m_folder + L"\\" + file)) << "missing: " << file;
    EXPECT_TRUE(Exists(m_folder + L"\\Uninstall.exe"));
    EXPECT_TRUE(Exists(m_shortcut));
    EXPECT_TRUE(UninstallEntryExists());

    // Both programs run from the installed folder: the window opens (and stores its settings), the command line
    // converts the bundled example.
    EXPECT_TRUE(WindowStartsFrom(m_folder));
    EXPECT_TRUE(Exists(m_settings));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring output = std::wstring(temp) + L"qf-installed-out-" + std::to_wstring(GetTickCount());
    CreateDirectoryW(output.c_str(), nullptr);
    EXPECT_EQ(RunAndWait(L"\"" + m_folder + L"\\quernfold-cli.exe\" -q \"" + OnDriveZ(QUERNFOLD_EXAMPLE_SITE) + L"\" \"" +
                      output + L"\"",
                  CREATE_NO_WINDOW),
              0);
    EXPECT_TRUE(Exists(output + L"\\index.html"));

    // A file of the user's in the folder is not the installer's to remove.
    const std::wstring mine = m_folder + L"\\my notes.txt";
    CloseHandle(CreateFileW(mine.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    ASSERT_EQ(Uninstall(L""), 0);
    for (const wchar_t* file : kInstalled) EXPECT_FALSE(Exists(m_folder + L"\\" + file)) << "left: " << file;
    EXPECT_FALSE(Exists(m_shortcut));
    EXPECT_FALSE(UninstallEntryExists());
    EXPECT_TRUE(Exists(mine));
    EXPECT_TRUE(Exists(m_settings)) << "the settings were removed without being asked to";

    // Installed again and removed with the settings, as asked.
    ASSERT_EQ(Install(), 0);
    EXPECT_TRUE(Exists(m_folder + L"\\quernfold.exe"));
    ASSERT_EQ(Uninstall(L"/REMOVESETTINGS"), 0);
    EXPECT_FALSE(Exists(m_folder + L"\\quernfold.exe"));
    EXPECT_FALSE(Exists(m_settings));
}

}  // namespace
