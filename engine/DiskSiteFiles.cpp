#include "engine/DiskSiteFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/Errors.h"

namespace quernfold {

namespace {

class DiskSourceFile : public SourceFile {
public:
    DiskSourceFile(int fd, FileId id) : m_fd(fd), m_id(id) {}
    ~DiskSourceFile() override { ::close(m_fd); }
    DiskSourceFile(const DiskSourceFile&) = delete;
    DiskSourceFile& operator=(const DiskSourceFile&) = delete;

    std::size_t Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, size);
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) throw FileError(SystemReason(errno));
        }
    }
    void Rewind() override {
        if (::lseek(m_fd, 0, SEEK_SET) != 0) throw FileError(SystemReason(errno));
    }
    FileId Id() const override { return m_id; }

private:
    int m_fd;
    FileId m_id;
};

}  // namespace

std::unique_ptr<SourceFile> DiskSiteFiles::Open(const std::string& path) {
    // Non-blocking, so a FIFO planted in the site cannot hang the run; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw FileError(SystemReason(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        throw FileError(SystemReason(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        throw FileError(S_ISDIR(info.st_mode) ? SystemReason(EISDIR) : "not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<DiskSourceFile>(fd, FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino});
}

EntryKind DiskSiteFiles::Kind(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return EntryKind::Missing;
    if (S_ISREG(info.st_mode)) return EntryKind::File;
    if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
    return EntryKind::Other;
}

std::vector<std::string> DiskSiteFiles::ListNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace quernfold
