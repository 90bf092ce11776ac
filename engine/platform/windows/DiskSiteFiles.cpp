#include "engine/platform/windows/DiskSiteFiles.h"

#include <windows.h>

#include <algorithm>
#include <functional>

#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"
#include "engine/platform/Disk.h"
#include "engine/platform/FileSystem.h"
#include "engine/platform/windows/AtomicFile.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

class DiskSourceFile : public SourceFile {
public:
    explicit DiskSourceFile(Handle handle) : m_handle(std::move(handle)) {
        const std::optional<FileStamp> stamp = Stamp();
        if (!stamp) throw FileError(LastWindowsReason());
        m_stamp = *stamp;
        FILETIME accessed{}, modified{};
        if (!::GetFileTime(m_handle.Get(), nullptr, &accessed, &modified)) throw FileError(LastWindowsReason());
        m_times = FileTimes{NanosecondsOf(accessed), NanosecondsOf(modified)};
    }

    std::size_t Read(char* buffer, std::size_t size) override {
        // A file is read as large as it was when opened, as on Linux.
        if (m_offset >= m_stamp.size) return 0;
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::ReadFile(m_handle.Get(), buffer, ask, &got, nullptr)) throw FileError(LastWindowsReason());
        m_offset = got == 0 ? m_stamp.size : m_offset + got;
        return got;
    }
    void Rewind() override {
        LARGE_INTEGER start{};
        if (!::SetFilePointerEx(m_handle.Get(), start, nullptr, FILE_BEGIN)) throw FileError(LastWindowsReason());
        m_offset = 0;
    }
    FileId Id() const override { return m_stamp.id; }
    std::optional<std::uint64_t> Size() const override { return m_stamp.size; }
    std::optional<FileStamp> Stamp() const override {
        FILE_BASIC_INFO basic{};
        FILE_STANDARD_INFO standard{};
        if (!::GetFileInformationByHandleEx(m_handle.Get(), FileBasicInfo, &basic, sizeof basic) ||
            !::GetFileInformationByHandleEx(m_handle.Get(), FileStandardInfo, &standard, sizeof standard)) {
            return std::nullopt;
        }
        const auto ns = [](LARGE_INTEGER time) {
            return NanosecondsOf(FILETIME{time.LowPart, static_cast<DWORD>(time.HighPart)});
        };
        return FileStamp{quernfold::IdOf(m_handle.Get()), static_cast<std::uint64_t>(standard.EndOfFile.QuadPart),
                         ns(basic.LastWriteTime), ns(basic.ChangeTime)};
    }
    std::optional<FileTimes> Times() const override { return m_times; }
    std::intptr_t NativeHandle() const override { return reinterpret_cast<std::intptr_t>(m_handle.Get()); }

private:
    Handle m_handle;
    FileStamp m_stamp;
    FileTimes m_times;
    std::uint64_t m_offset = 0;
};

std::string WithSeparator(const std::string& folder) {
    return folder.empty() || folder.back() == kNativeSeparator ? folder : folder + kNativeSeparator;
}

// Calls visit for each entry of the folder the handle holds ("." and ".." left out); false when it cannot be
// listed, with the reason in GetLastError.
bool EachEntry(HANDLE folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    const std::optional<std::wstring> where = FinalPathOf(folder);
    if (!where) return false;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileExW((*where + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") visit(data);
    } while (::FindNextFileW(find, &data));
    const DWORD ended = ::GetLastError();
    ::FindClose(find);
    ::SetLastError(ended);
    return ended == ERROR_NO_MORE_FILES;
}

}  // namespace

DiskSiteFiles::DiskSiteFiles(std::string siteRoot) : m_rootText(std::move(siteRoot)) {}

const ContainedFolder& DiskSiteFiles::Root() {
    // Opened on first use: a site root that cannot be opened fails the reads, as on Linux.
    if (!m_root) m_root.emplace(m_rootText.empty() ? std::string(".") : m_rootText);
    return *m_root;
}

std::unique_ptr<SourceFile> DiskSiteFiles::Open(const std::string& path) {
    return std::make_unique<DiskSourceFile>(Root().OpenFile(path));
}

EntryKind DiskSiteFiles::Kind(const std::string& path) {
    const std::optional<PathInfo> info = LookAt(path, Links::Follow);
    return info ? info->kind : EntryKind::Missing;
}

std::vector<std::string> DiskSiteFiles::ListNames(const std::string& folder) {
    std::vector<std::string> names;
    try {
        const std::optional<Handle> handle = Root().OpenFolderIfInside(folder);
        if (!handle) return names;
        EachEntry(handle->Get(), [&](const WIN32_FIND_DATAW& data) {
            if (std::optional<std::string> name = Utf8FromWide(data.cFileName)) names.push_back(std::move(*name));
        });
    } catch (const FileError&) {
        names.clear();
    }
    return names;
}

std::optional<FolderEntry> DiskSiteFiles::FollowLink(const std::string& path, std::string name) {
    const std::optional<std::wstring> wide = ExtendedPath(path);
    if (!wide) return std::nullopt;
    Handle target(::CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target.Valid()) return std::nullopt;  // broken
    const std::optional<std::wstring> where = FinalPathOf(target.Get());
    if (!where || !LiesWithin(Root().FinalRoot(), *where)) return std::nullopt;  // leading out of the site
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(target.Get(), &info)) throw FileError(LastWindowsReason());
    const EntryKind kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder
                           : ::GetFileType(target.Get()) == FILE_TYPE_DISK    ? EntryKind::File
                                                                              : EntryKind::Other;
    // What the link leads to, '/'-separated below the root, for the rules that judge files by their path.
    const std::size_t rootLength = std::min(where->size(), Root().FinalRoot().size() + 1);
    std::string below = Utf8FromWide(std::wstring_view(*where).substr(rootLength)).value_or(std::string());
    std::replace(below.begin(), below.end(), '\\', '/');
    return FolderEntry{std::move(name), kind, quernfold::IdOf(target.Get()), std::move(below)};
}

FolderListing DiskSiteFiles::ListFolder(const std::string& folder) {
    FolderListing listing;
    // A folder swapped for a link out of the site since its parent was listed is left out, as the link is.
    const std::optional<Handle> handle = Root().OpenFolderIfInside(folder);
    if (!handle) return listing;
    listing.id = quernfold::IdOf(handle->Get());
    const std::string prefix = WithSeparator(folder);
    const bool listed = EachEntry(handle->Get(), [&](const WIN32_FIND_DATAW& data) {
        std::optional<std::string> name = Utf8FromWide(data.cFileName);
        if (!name) return;  // a name with a lone surrogate has no UTF-8 form; it cannot be named in the log
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (std::optional<FolderEntry> entry = FollowLink(prefix + *name, std::move(*name))) {
                listing.entries.push_back(std::move(*entry));
            }
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // The walk visits each real folder once, so a folder's identity is asked for.
            const std::optional<PathInfo> info = LookAt(prefix + *name, Links::Follow);
            if (info) listing.entries.push_back(FolderEntry{std::move(*name), EntryKind::Folder, info->id, {}});
        } else {
            const EntryKind kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) ? EntryKind::Other : EntryKind::File;
            listing.entries.push_back(FolderEntry{std::move(*name), kind, {}, {}});
        }
    });
    if (!listed) throw FileError(LastWindowsReason());
    return listing;
}

std::unique_ptr<SiteFiles> OpenSiteOnDisk(std::string siteRoot) {
    return std::make_unique<DiskSiteFiles>(std::move(siteRoot));
}

}  // namespace quernfold
