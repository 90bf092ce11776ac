#include "engine/platform/windows/ContainedFolder.h"

#include "engine/log/LogLines.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
    // Ordinal with case ignored: the file system's own comparison of names, not a language's collation.
    return a.size() == b.size() &&
           ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

}  // namespace

bool LiesWithin(std::wstring_view root, std::wstring_view finalPath) {
    while (!root.empty() && root.back() == L'\\') root.remove_suffix(1);  // a drive's root: "\\?\C:\"
    if (finalPath.size() < root.size() || !EqualIgnoringCase(root, finalPath.substr(0, root.size()))) return false;
    return finalPath.size() == root.size() || finalPath[root.size()] == L'\\';
}

std::optional<std::wstring> FinalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);  // the size needed, terminator included
    }
    return std::nullopt;
}

ContainedFolder::ContainedFolder(const std::string& rootPath) {
    const std::optional<std::wstring> path = ExtendedPath(rootPath);
    if (!path) throw FileError(WindowsReason(ERROR_INVALID_NAME));
    // Others may read and write in it, but not delete or rename it while the run holds it.
    m_root = Handle(::CreateFileW(path->c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m_root.Valid()) throw FileError(LastWindowsReason());
    std::optional<std::wstring> finalRoot = FinalPathOf(m_root.Get());
    if (!finalRoot) throw FileError(LastWindowsReason());
    m_finalRoot = std::move(*finalRoot);
}

namespace {

Handle OpenUnchecked(const std::string& path, DWORD flags, DWORD sharing) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) throw FileError(WindowsReason(ERROR_INVALID_NAME));
    Handle handle(::CreateFileW(wide->c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!handle.Valid()) throw FileError(LastWindowsReason());
    return handle;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

bool ContainedFolder::Holds(HANDLE handle) const {
    const std::optional<std::wstring> where = FinalPathOf(handle);
    if (!where) throw FileError(LastWindowsReason());
    return LiesWithin(m_finalRoot, *where);
}

Handle ContainedFolder::Open(const std::string& path, DWORD flags, DWORD sharing) const {
    Handle handle = OpenUnchecked(path, flags, sharing);
    if (!Holds(handle.Get())) throw FileError(OutsideReason());
    return handle;
}

Handle ContainedFolder::OpenFile(const std::string& path) const {
    // Backup semantics opens a folder too, so that it is refused for what it is rather than as access denied.
    Handle handle = Open(path, FILE_FLAG_BACKUP_SEMANTICS, kShareAll);
    // A folder, a device or a pipe is refused as on Linux: only a regular file is a page or an include.
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK) throw FileError(NotARegularFileReason());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.Get(), &info)) throw FileError(LastWindowsReason());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw FileError(NotARegularFileReason());
    return handle;
}

Handle ContainedFolder::OpenFolder(const std::string& path) const {
    // Backup semantics: the flag that lets CreateFileW open a folder at all.
    return Open(path, FILE_FLAG_BACKUP_SEMANTICS, kShareNoDelete);
}

std::optional<Handle> ContainedFolder::OpenFolderIfInside(const std::string& path) const {
    Handle handle = OpenUnchecked(path, FILE_FLAG_BACKUP_SEMANTICS, kShareNoDelete);
    if (!Holds(handle.Get())) return std::nullopt;
    return handle;
}

std::string ContainedFolder::OutsideReason() { return OutsideSiteRootReason(true); }

}  // namespace quernfold
