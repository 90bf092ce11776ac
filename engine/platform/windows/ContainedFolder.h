#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/platform/windows/Handle.h"

namespace quernfold {

/**
 * Whether finalPath, as GetFinalPathNameByHandleW gives it, is root (given the same way) or lies below it. Names
 * are compared as Windows compares them, ignoring letter case; a name that merely begins like the root's last
 * folder ("C:\site2" for "C:\site") is outside.
 */
bool LiesWithin(std::wstring_view root, std::wstring_view finalPath);

/** Where the handle really is: reparse points (junctions, symbolic links, mount points) resolved. */
std::optional<std::wstring> FinalPathOf(HANDLE handle);

/**
 * The site root on Windows, and the one place that decides what lies inside it. A file or folder is opened first
 * (reparse points followed, as Windows does for any program) and then asked where it really is; what lies
 * outside the root is closed again unread. The check is made on the handle that is then read, so a junction
 * swapped in after the check changes nothing. The root itself is held open without delete sharing, so it cannot
 * be renamed or replaced during the run.
 */
class ContainedFolder {
public:
    /** Opens the root folder. Throws FileError with the system's reason. */
    explicit ContainedFolder(const std::string& rootPath);

    /** Opens a regular file below the root for reading. Throws FileError: OutsideReason() or the system's reason. */
    Handle OpenFile(const std::string& path) const;
    /**
     * Opens a folder below the root (or the root) for listing; it cannot be renamed or removed while the handle
     * is held. Throws FileError as OpenFile does.
     */
    Handle OpenFolder(const std::string& path) const;
    /** As OpenFolder, but nullopt when the folder lies outside the root (a link out of the site is left out). */
    std::optional<Handle> OpenFolderIfInside(const std::string& path) const;
    /** Whether the open handle lies at or below the root. */
    bool Holds(HANDLE handle) const;

    const std::wstring& FinalRoot() const { return m_finalRoot; }
    static std::string OutsideReason();

private:
    Handle Open(const std::string& path, DWORD flags, DWORD sharing) const;

    Handle m_root;
    std::wstring m_finalRoot;
};

}  // namespace quernfold
