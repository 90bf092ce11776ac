#include "engine/AssetCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/Errors.h"
#include "engine/OutputFile.h"

namespace quernfold {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

CopyOutcome CopyStaticFile(const std::string& source, const std::string& target,
                           const std::function<bool(const FileId&)>& isReadByRun) {
    // Non-blocking, so a FIFO swapped in since the walk cannot hang the run.
    const Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.Get() < 0) throw FileError(SystemReason(errno));
    struct stat from {};
    if (::fstat(in.Get(), &from) != 0) throw FileError(SystemReason(errno));
    if (!S_ISREG(from.st_mode)) throw FileError("not a regular file");

    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0) {
        const FileId id{static_cast<std::uint64_t>(existing.st_dev), existing.st_ino};
        if (S_ISREG(existing.st_mode) && existing.st_size == from.st_size &&
            SameTime(existing.st_mtim, from.st_mtim)) {
            return CopyOutcome::Unchanged;
        }
        if (isReadByRun && isReadByRun(id)) {
            throw FileError("the output file " + target + " is a file this run reads; it is not replaced");
        }
    } else if (errno != ENOENT) {
        throw FileError(SystemReason(errno));
    }

    OutputFile out(target);
    out.CopyFrom(in.Get());
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    out.SetTimes(times);
    out.Publish();
    return CopyOutcome::Copied;
}

}  // namespace quernfold
