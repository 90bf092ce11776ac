#include "engine/platform/RunRecords.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>

#include "engine/platform/FileSystem.h"
#include "engine/platform/windows/AtomicFile.h"
#include "engine/platform/windows/Handle.h"
#include "engine/platform/windows/WideText.h"

namespace quernfold {

namespace {

// The user's local application data folder (%LOCALAPPDATA%): what may be rebuilt at any time lives there.
std::string CacheFolder() {
    wchar_t* folder = nullptr;
    std::string result;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder)) && folder) {
        result = Utf8FromWide(folder).value_or(std::string());
    }
    ::CoTaskMemFree(folder);
    if (result.empty()) result = ".";
    result.append("\\quernfold");
    return result;
}

Handle OpenToRead(const std::string& path, DWORD flags) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) return Handle();
    return Handle(::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, flags, nullptr));
}

}  // namespace

std::optional<FileStamp> StampAt(const std::string& path, bool followLinks) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const Handle handle = OpenToRead(path, flags);
    if (!handle.Valid()) return std::nullopt;
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(handle.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(handle.Get(), FileStandardInfo, &standard, sizeof standard)) {
        return std::nullopt;
    }
    const auto ns = [](LARGE_INTEGER time) {
        return NanosecondsOf(FILETIME{time.LowPart, static_cast<DWORD>(time.HighPart)});
    };
    return FileStamp{IdOf(handle.Get()), static_cast<std::uint64_t>(standard.EndOfFile.QuadPart),
                     ns(basic.LastWriteTime), ns(basic.ChangeTime)};
}

std::optional<std::string> RunRecordPath(const std::string& outputRoot) {
    const std::optional<PathInfo> info = LookAt(outputRoot, Links::Follow);
    if (!info || info->kind != EntryKind::Folder || !info->id.Known()) return std::nullopt;
    return CacheFolder() + "\\runs\\" + std::to_string(info->id.device) + "-" + std::to_string(info->id.inode) +
           ".run";
}

std::function<std::ptrdiff_t(char*, std::size_t)> OpenRunRecord(const std::string& recordPath) {
    auto file = std::make_shared<Handle>(OpenToRead(recordPath, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file->Valid() || ::GetFileType(file->Get()) != FILE_TYPE_DISK) return {};
    return [file](char* into, std::size_t size) -> std::ptrdiff_t {
        DWORD n = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::ReadFile(file->Get(), into, ask, &n, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(n);
    };
}

bool MakeRunRecordFolder(const std::string& recordPath) {
    const std::size_t slash = recordPath.find_last_of('\\');
    if (slash == std::string::npos) return false;
    const std::optional<std::wstring> folder = ExtendedPath(recordPath.substr(0, slash));
    if (!folder) return false;
    // SHCreateDirectoryExW makes the parents too; an existing folder is no failure.
    const int made = ::SHCreateDirectoryExW(nullptr, folder->c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) return false;
    const DWORD attributes = ::GetFileAttributesW(folder->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace quernfold
