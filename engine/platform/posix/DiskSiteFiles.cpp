#include "engine/platform/posix/DiskSiteFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/platform/Disk.h"

namespace quernfold {

namespace {

constexpr char kSep = '/';

/** Closes a descriptor on every way out unless released. */
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileStamp StampFrom(const struct stat& info) {
    return {{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)},
            static_cast<std::uint64_t>(info.st_size),
            Nanoseconds(info.st_mtim),
            Nanoseconds(info.st_ctim)};
}

FileTimes TimesFrom(const struct stat& info) {
    return {Nanoseconds(info.st_atim), Nanoseconds(info.st_mtim)};
}

class DiskSourceFile : public SourceFile {
public:
    DiskSourceFile(int fd, const struct stat& info) : m_fd(fd), m_stamp(StampFrom(info)), m_times(TimesFrom(info)) {}
    ~DiskSourceFile() override { ::close(m_fd); }
    DiskSourceFile(const DiskSourceFile&) = delete;
    DiskSourceFile& operator=(const DiskSourceFile&) = delete;

    std::size_t Read(char* buffer, std::size_t size) override {
        // A file is read as large as it was when opened: a read that reaches that size is the end, without one
        // more call to find it (a file growing meanwhile is seen as it was, never half of each).
        if (m_offset >= m_stamp.size) return 0;
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, size);
            if (got >= 0) {
                m_offset += static_cast<std::uint64_t>(got);
                if (got == 0) m_offset = m_stamp.size;
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) throw FileError(SystemReason(errno));
        }
    }
    void Rewind() override {
        if (::lseek(m_fd, 0, SEEK_SET) != 0) throw FileError(SystemReason(errno));
        m_offset = 0;
    }
    FileId Id() const override { return m_stamp.id; }
    std::optional<std::uint64_t> Size() const override { return m_stamp.size; }
    std::optional<FileStamp> Stamp() const override {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) return std::nullopt;
        return StampFrom(info);
    }
    std::optional<FileStamp> OpenedStamp() const override { return m_stamp; }
    std::optional<FileTimes> Times() const override { return m_times; }
    std::intptr_t NativeHandle() const override { return m_fd; }

private:
    int m_fd;
    FileStamp m_stamp;  // as opened
    FileTimes m_times;  // as opened
    std::uint64_t m_offset = 0;
};

// Opens for reading the very file that handle (an O_PATH descriptor) stands for. Through /proc no name is resolved
// again; without /proc the path is opened once more and must lead to the same file.
int ReopenForReading(int handle, const struct stat& info, ContainedRoot& root, const std::string& path) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    char procPath[32];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", handle);
    int fd = ::open(procPath, kFlags);
    if (fd >= 0 || (errno != ENOENT && errno != ENOTDIR)) return fd;
    fd = root.Open(path, kFlags);
    struct stat again {};
    if (::fstat(fd, &again) != 0 || again.st_dev != info.st_dev || again.st_ino != info.st_ino) {
        ::close(fd);
        throw FileError("the file changed while it was opened");
    }
    return fd;
}

}  // namespace

DiskSiteFiles::DiskSiteFiles(std::string siteRoot, Containment containment)
    : m_root(std::move(siteRoot), containment) {}

std::unique_ptr<SourceFile> DiskSiteFiles::Open(const std::string& path) {
    // A descriptor that cannot read tells the type first: opening a device can act on it, and a FIFO can block.
    FdGuard handle{m_root.Open(path, O_PATH | O_CLOEXEC)};
    struct stat info {};
    if (::fstat(handle.fd, &info) != 0) throw FileError(SystemReason(errno));
    if (!S_ISREG(info.st_mode)) {
        throw FileError(S_ISDIR(info.st_mode) ? SystemReason(EISDIR) : NotARegularFileReason());
    }
    const int fd = ReopenForReading(handle.fd, info, m_root, path);
    if (fd < 0) throw FileError(SystemReason(errno));
    return std::make_unique<DiskSourceFile>(fd, info);
}

std::unique_ptr<SourceFile> DiskSiteFiles::OpenPage(const std::string& path) {
    // Non-blocking, so a FIFO swapped in since the walk cannot hang the run; it is refused below.
    FdGuard fd{m_root.Open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) throw FileError(SystemReason(errno));
    if (!S_ISREG(info.st_mode)) {
        throw FileError(S_ISDIR(info.st_mode) ? SystemReason(EISDIR) : NotARegularFileReason());
    }
    return std::make_unique<DiskSourceFile>(fd.Release(), info);
}

EntryKind DiskSiteFiles::Kind(const std::string& path) {
    // Whether something stands there is no read of it; the open decides whether it may be read.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return EntryKind::Missing;
    if (S_ISREG(info.st_mode)) return EntryKind::File;
    if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
    return EntryKind::Other;
}

std::optional<FileId> DiskSiteFiles::IdOf(const std::string& path) {
    const std::optional<struct stat> info = m_root.StatOf(path);
    if (!info || !S_ISREG(info->st_mode)) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(info->st_dev), static_cast<std::uint64_t>(info->st_ino)};
}

std::vector<std::string> DiskSiteFiles::ListNames(const std::string& folder) {
    std::vector<std::string> names;
    const int fd = m_root.TryOpen(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

FolderListing DiskSiteFiles::ListFolder(const std::string& folder) {
    FolderListing listing;
    FdGuard fd{m_root.TryOpen(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK)};
    if (fd.fd < 0) {
        // A folder swapped for a link out of the site since its parent was listed is left out, as the link is.
        if (errno == EXDEV) return listing;
        throw FileError(SystemReason(errno));
    }
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) throw FileError(SystemReason(errno));
    const auto device = static_cast<std::uint64_t>(info.st_dev);
    listing.id = {device, static_cast<std::uint64_t>(info.st_ino)};
    // Names that can be read but not searched could not be opened; say so here, as looking at each would.
    if (::faccessat(fd.fd, ".", X_OK, AT_EACCESS) != 0) throw FileError(SystemReason(errno));
    DIR* dir = ::fdopendir(fd.fd);
    if (!dir) throw FileError(SystemReason(errno));
    fd.Release();
    struct DirCloser {
        DIR* dir;
        ~DirCloser() { ::closedir(dir); }
    } closer{dir};
    const std::string prefix = folder.empty() || folder.back() == kSep ? folder : folder + kSep;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) throw FileError(SystemReason(errno));
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        FolderEntry item{std::string(name), EntryKind::Other, {}, {}};
        switch (entry->d_type) {
        case DT_REG:
            item.kind = EntryKind::File;
            item.id = {device, static_cast<std::uint64_t>(entry->d_ino)};
            break;
        case DT_DIR: {
            // A listing's inode number is the one beneath a mount point; the folder itself answers for its own.
            struct stat sub {};
            if (::fstatat(dirfd(dir), item.name.c_str(), &sub, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) continue;  // gone since the listing
                throw FileError(SystemReason(errno));
            }
            item.kind = S_ISDIR(sub.st_mode) ? EntryKind::Folder : EntryKind::Other;
            item.id = {static_cast<std::uint64_t>(sub.st_dev), static_cast<std::uint64_t>(sub.st_ino)};
            break;
        }
        case DT_LNK:
        case DT_UNKNOWN: {
            const std::optional<struct stat> target = m_root.StatOf(prefix + item.name, &item.linkTarget);
            if (!target) {
                // A broken link, one that leads out of the site, or an entry gone since the listing.
                if (errno == ENOENT || errno == EXDEV || errno == ELOOP) continue;
                throw FileError(SystemReason(errno));
            }
            item.kind = S_ISREG(target->st_mode)   ? EntryKind::File
                        : S_ISDIR(target->st_mode) ? EntryKind::Folder
                                                   : EntryKind::Other;
            item.id = {static_cast<std::uint64_t>(target->st_dev), static_cast<std::uint64_t>(target->st_ino)};
            break;
        }
        default:
            break;  // FIFOs, sockets, devices
        }
        listing.entries.push_back(std::move(item));
    }
    return listing;
}

std::unique_ptr<SiteFiles> OpenSiteOnDisk(std::string siteRoot) {
    return std::make_unique<DiskSiteFiles>(std::move(siteRoot));
}

}  // namespace quernfold
