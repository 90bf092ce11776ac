// quernfold.exe: the window on Windows, made of the system's own controls.
#include <exception>
#include <memory>
#include <string>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "engine/log/LogLines.h"
#include "settings/Rwini.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/WinSettings.h"
#include "ui/win32/WinText.h"

namespace {

using quernfold::win32::Utf8;
using quernfold::win32::Wide;

/** One copy per user: a mutex named after the user, in the session's namespace. */
HANDLE ClaimSingleCopy() {
    wchar_t user[257] = L"";
    DWORD size = 257;
    GetUserNameW(user, &size);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (std::wstring(L"Local\\Quernfold-") + user).c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex ? mutex : INVALID_HANDLE_VALUE;  // without a mutex the program still runs
}

/** The program's folder with a trailing backslash: the site root's default. */
std::string ProgramFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return Utf8(path.substr(0, path.find_last_of(L'\\') + 1));
}

/** The user's profile folder with a trailing backslash: the output folder's default, as the home is on Linux. */
std::string ProfileFolder() {
    wchar_t profile[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    return length && length < MAX_PATH ? Utf8(profile) + "\\" : "C:\\";
}

int Run(HINSTANCE instance, int showCommand) {
    const std::string configPath = quernfold::win32::WindowsConfigPath();
    auto settings = std::make_unique<quernfold::Rwini>(configPath);
    quernfold::win32::ImportOldSettings(configPath, *settings);
    quernfold::win32::MainWindow window(instance, *settings, ProgramFolder(), ProfileFolder());
    if (!window.Open(showCommand)) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.HandleDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const std::wstring notice = Wide(quernfold::kTitleNotice);
    HANDLE mutex = ClaimSingleCopy();
    if (!mutex) {
        MessageBoxW(nullptr, Wide(quernfold::kAlreadyRunningText).c_str(), notice.c_str(), MB_OK);
        return 0;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    LoadLibraryW(L"Msftedit.dll");  // the RichEdit 4.1 class of the log pane
    int status = 1;
    try {
        status = Run(instance, showCommand);
    } catch (const std::exception& failure) {
        MessageBoxW(nullptr, Wide(quernfold::RuntimeFailureText(failure.what())).c_str(),
                    Wide(quernfold::kTitleError).c_str(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        MessageBoxW(nullptr, Wide(quernfold::RuntimeFailureText(quernfold::kUnknownFailureText)).c_str(),
                    Wide(quernfold::kTitleError).c_str(), MB_OK | MB_ICONSTOP);
    }
    CoUninitialize();
    if (mutex != INVALID_HANDLE_VALUE) CloseHandle(mutex);
    return status;
}
