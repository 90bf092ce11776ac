#include "engine/platform/FileSystem.h"

#include <windows.h>
#include <shlobj.h>

#include "engine/platform/windows/AtomicFile.h"
#include "engine/platform/windows/ContainedFolder.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"

namespace quernfold {

namespace {

// Backup semantics opens folders as well as files; with OPEN_REPARSE_POINT a link is opened itself.
Handle OpenToLookAt(const std::wstring& path, Links links) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (links == Links::DoNotFollow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    return Handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                                nullptr));
}

}  // namespace

std::optional<PathInfo> LookAt(const std::string& path, Links links) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) return std::nullopt;
    const Handle handle = OpenToLookAt(*wide, links);
    if (!handle.Valid()) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
    PathInfo result;
    const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    result.isLink = links == Links::DoNotFollow && reparse;
    if (result.isLink) {
        result.kind = EntryKind::Other;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        result.kind = EntryKind::Folder;
    } else {
        result.kind = ::GetFileType(handle.Get()) == FILE_TYPE_DISK ? EntryKind::File : EntryKind::Other;
    }
    result.id = IdOf(handle.Get());
    return result;
}

std::string RealPathOf(const std::string& path) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) return {};
    const Handle handle = OpenToLookAt(*wide, Links::Follow);
    if (!handle.Valid()) return {};
    std::optional<std::wstring> final = FinalPathOf(handle.Get());
    if (!final) return {};
    // Shown to people and compared with paths they typed: without the "\\?\" prefix where the path allows it.
    if (final->starts_with(L"\\\\?\\UNC\\")) {
        final = L"\\\\" + final->substr(8);
    } else if (final->starts_with(L"\\\\?\\") && final->size() < MAX_PATH + 4) {
        final = final->substr(4);
    }
    return Utf8FromWide(*final).value_or(std::string());
}

ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    Handle file(wide ? ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                     : INVALID_HANDLE_VALUE);
    if (!file.Valid()) {
        const DWORD code = wide ? ::GetLastError() : DWORD(ERROR_INVALID_NAME);
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ReadOutcome::Missing;
        error = "cannot open " + path + ": " + WindowsReason(code);
        return ReadOutcome::Failed;
    }
    bytes.clear();
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
            error = "cannot read " + path + ": " + LastWindowsReason();
            return ReadOutcome::Failed;
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    return ReadOutcome::Ok;
}

std::string UserSettingsFolder() {
    // The roaming application data folder (%APPDATA%), where a Windows program keeps what its user chose.
    wchar_t* folder = nullptr;
    std::string result;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder)) && folder) {
        result = Utf8FromWide(folder).value_or(std::string());
    }
    ::CoTaskMemFree(folder);
    if (result.empty()) result = ".";
    result.append("\\quernfold");
    return result;
}

unsigned ProcessorsOnline() {
    const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

}  // namespace quernfold
