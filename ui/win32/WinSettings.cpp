#include "ui/win32/WinSettings.h"

#include <windows.h>
#include <shlobj.h>

#include "engine/run/SettingsStore.h"
#include "ui/win32/WinText.h"

namespace quernfold::win32 {

namespace {

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

}  // namespace

std::string WindowsConfigPath() {
    PWSTR roaming = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming))) return "";
    const std::wstring folder = std::wstring(roaming) + L"\\Quernfold";
    CoTaskMemFree(roaming);
    CreateDirectoryW(folder.c_str(), nullptr);  // an existing folder is fine; a failure shows at the first write
    return Utf8(folder + L"\\config.ini");
}

std::string ImportOldSettings(const std::string& configPath, SettingsStore& settings) {
    if (configPath.empty() || IsFile(Wide(configPath))) return "";
    const std::wstring candidates[] = {Environment(L"LOCALAPPDATA") + L"\\VirtualStore\\Windows\\config.ini",
                                       Environment(L"WINDIR") + L"\\config.ini"};
    for (const std::wstring& old : candidates) {
        if (old.front() == L'\\' || !IsFile(old)) continue;
        for (const char* key : {"workPath", "outputDir", "srcType", "outputType"}) {
            // Read as bytes: the old file is in the ANSI code page, as the old program wrote it.
            char value[1024] = {};
            const int length = WideCharToMultiByte(CP_ACP, 0, old.c_str(), -1, nullptr, 0, nullptr, nullptr);
            std::string ansiPath(static_cast<std::size_t>(length), '\0');
            WideCharToMultiByte(CP_ACP, 0, old.c_str(), -1, ansiPath.data(), length, nullptr, nullptr);
            GetPrivateProfileStringA("sys", key, "", value, sizeof(value), ansiPath.c_str());
            if (value[0] != '\0') settings.WriteIni("sys", key, Utf8FromAnsi(value));
        }
        return Utf8(old);
    }
    return "";
}

}  // namespace quernfold::win32
