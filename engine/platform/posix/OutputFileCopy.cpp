// The copying side of OutputFile: static files are carried over byte for byte, through the same temporary file and
// rename as pages.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "engine/text/Errors.h"
#include "engine/platform/posix/OutputFile.h"

namespace quernfold {

namespace {

constexpr std::size_t kKernelChunk = std::size_t{1} << 30;
constexpr std::size_t kCopyBuffer = 256 * 1024;

// The errors with which copy_file_range says it cannot serve this pair of files (another file system, an old
// kernel, a special file); the copy then goes through a buffer.
bool KernelCopyUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF;
}

}  // namespace

void OutputFile::CopyFrom(int sourceFd) {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    Flush();
    bool kernel = true;
    for (;;) {
        const ssize_t done = ::copy_file_range(sourceFd, nullptr, m_fd, nullptr, kKernelChunk, 0);
        if (done > 0) {
            m_written += static_cast<std::uint64_t>(done);
            continue;
        }
        if (done == 0) return;
        if (errno == EINTR) continue;
        // Only before the first byte: after it, a failure is a real one.
        if (m_written == 0 && KernelCopyUnsupported(errno)) {
            kernel = false;
            break;
        }
        Fail(SystemReason(errno));
    }
    if (kernel) return;
    std::vector<char> buffer(kCopyBuffer);
    for (;;) {
        const ssize_t got = ::read(sourceFd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(SystemReason(errno));
        }
        if (got == 0) return;
        WriteAll(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        m_written += static_cast<std::uint64_t>(got);
    }
}

void OutputFile::SetTimes(const struct timespec (&times)[2]) {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    Flush();
    if (::futimens(m_fd, times) != 0) Fail(SystemReason(errno));
}

}  // namespace quernfold
