#include "engine/platform/FolderIdentity.h"

#include <windows.h>

#include "engine/output/PathRules.h"
#include "engine/platform/windows/AtomicFile.h"
#include "engine/platform/windows/ContainedFolder.h"
#include "engine/platform/windows/WideText.h"

namespace quernfold {

namespace {

Handle OpenFolderToClimb(const std::wstring& path) {
    return Handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The folder part of an extended path, or nullopt at a volume's or share's root.
std::optional<std::wstring> ParentOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 7) return std::nullopt;  // "\\?\C:\" itself
    std::wstring parent = path.substr(0, slash);
    if (parent.size() == 6 && parent[5] == L':') parent += L'\\';  // "\\?\C:" is the drive's root "\\?\C:\"
    return parent == path ? std::nullopt : std::optional<std::wstring>(parent);
}

}  // namespace

std::optional<FileId> IdentityOf(const std::string& path) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) return std::nullopt;
    const Handle handle = OpenFolderToClimb(*wide);
    if (!handle.Valid()) return std::nullopt;
    const FileId id = IdOf(handle.Get());
    return id.Known() ? std::optional<FileId>(id) : std::nullopt;
}

bool LiesInOneOf(const std::string& path, const std::unordered_set<FileId, FileIdHash>& folders) {
    // Where the folder really is (junctions and links resolved), then up by its real parents: a second
    // spelling or a junction of a folder counts as that folder, as on Linux.
    std::optional<std::wstring> current = ExtendedPath(path);
    Handle handle;
    while (current) {
        handle = OpenFolderToClimb(*current);
        if (handle.Valid()) break;
        current = ParentOf(*current);  // a folder the run would make lies where its nearest ancestor lies
    }
    if (!handle.Valid()) return false;
    std::optional<std::wstring> real = FinalPathOf(handle.Get());
    while (real) {
        const Handle folder = OpenFolderToClimb(*real);
        if (folder.Valid() && folders.count(IdOf(folder.Get()))) return true;
        real = ParentOf(*real);
    }
    return false;
}


}  // namespace quernfold
