#include "engine/platform/posix/AssetCopier.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/text/Errors.h"
#include "engine/platform/posix/OutputFile.h"

namespace quernfold {

namespace {

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

StaticSource::StaticSource(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) throw FileError(SystemReason(errno));
    if (::fstat(m_fd, &m_info) != 0) {
        const int error = errno;
        ::close(m_fd);
        throw FileError(SystemReason(error));
    }
    if (!S_ISREG(m_info.st_mode)) {
        ::close(m_fd);
        throw FileError("not a regular file");
    }
}

StaticSource::~StaticSource() {
    ::close(m_fd);
}

FileId StaticSource::Id() const {
    return {static_cast<std::uint64_t>(m_info.st_dev), m_info.st_ino};
}

CopyOutcome CopyIntoFolder(int folderFd, const std::string& name, const std::string& displayPath,
                           const StaticSource& source, const std::function<bool(const FileId&)>& isReadByRun) {
    const struct stat& from = source.Info();
    struct stat existing {};
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        const FileId id{static_cast<std::uint64_t>(existing.st_dev), existing.st_ino};
        if (S_ISREG(existing.st_mode) && existing.st_size == from.st_size && SameTime(existing.st_mtim, from.st_mtim)) {
            return CopyOutcome::Unchanged;
        }
        if (isReadByRun && isReadByRun(id)) {
            throw FileError("the output file " + displayPath + " is a file this run reads; it is not replaced");
        }
    } else if (errno != ENOENT) {
        throw FileError(SystemReason(errno));
    }

    OutputFile out(folderFd, name, displayPath, WritePolicy{});
    out.CopyFrom(source.Fd());
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    out.SetTimes(times);
    out.Publish();
    return CopyOutcome::Copied;
}

}  // namespace quernfold
