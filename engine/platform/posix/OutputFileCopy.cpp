// The copying side of OutputFile: static files are carried over byte for byte, through the same temporary file and
// rename as pages, their holes kept.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/text/Errors.h"
#include "engine/platform/posix/OutputFile.h"
#include "engine/run/StopRequest.h"

namespace quernfold {

namespace {

// A stop request is seen at least this often during one file (a 2 GiB video would otherwise hold Ctrl-C up).
constexpr std::uint64_t kStopCheckBytes = std::uint64_t{64} << 20;
constexpr std::size_t kCopyBuffer = 256 * 1024;

// The errors with which copy_file_range says it cannot serve this pair of files (another file system, an old
// kernel, a special file); the copy then goes through a buffer.
bool KernelCopyUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF;
}

[[noreturn]] void ThrowShrank() { throw OutputError("the file became shorter while it was copied"); }

}  // namespace

void OutputFile::CopyFrom(int sourceFd, std::uint64_t size, const std::atomic<bool>* stop) {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    Flush();
    bool kernel = true;
    // Only the parts that hold data are copied; what lies between them stays a hole in the copy too.
    for (std::uint64_t at = 0; at < size;) {
        const off_t data = ::lseek(sourceFd, static_cast<off_t>(at), SEEK_DATA);
        std::uint64_t from = at;
        std::uint64_t to = size;
        if (data < 0) {
            if (errno == ENXIO) break;  // a hole up to the end
            // A file system that cannot tell holes: all of it is data.
        } else {
            from = static_cast<std::uint64_t>(data);
            if (from >= size) break;
            const off_t hole = ::lseek(sourceFd, data, SEEK_HOLE);
            if (hole > data) to = std::min(size, static_cast<std::uint64_t>(hole));
        }
        CopyRange(sourceFd, from, to, stop, kernel);
        at = to;
    }
    // The copy is as long as the source was when it was opened, a hole at its end included.
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) Fail(SystemReason(errno));
    m_written = size;
}

void OutputFile::CopyRange(int sourceFd, std::uint64_t from, std::uint64_t to, const std::atomic<bool>* stop,
                           bool& kernel) {
    std::vector<char> buffer;
    while (from < to) {
        ThrowIfStopRequested(stop);
        const std::uint64_t step = std::min(to - from, kStopCheckBytes);
        std::uint64_t done = 0;
        while (kernel && done < step) {
            auto in = static_cast<off_t>(from + done);
            auto out = in;
            const ssize_t got = ::copy_file_range(sourceFd, &in, m_fd, &out, step - done, 0);
            if (got > 0) {
                done += static_cast<std::uint64_t>(got);
            } else if (got == 0) {
                ThrowShrank();
            } else if (errno != EINTR) {
                if (!KernelCopyUnsupported(errno)) Fail(SystemReason(errno));
                kernel = false;
            }
        }
        if (buffer.empty() && done < step) buffer.resize(kCopyBuffer);
        while (done < step) {
            const auto at = static_cast<off_t>(from + done);
            const ssize_t got = ::pread(sourceFd, buffer.data(), std::min<std::uint64_t>(buffer.size(), step - done), at);
            if (got < 0) {
                if (errno == EINTR) continue;
                Fail(SystemReason(errno));
            }
            if (got == 0) ThrowShrank();
            for (ssize_t written = 0; written < got;) {
                const ssize_t put = ::pwrite(m_fd, buffer.data() + written, static_cast<std::size_t>(got - written),
                                             at + written);
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) Fail(SystemReason(put < 0 ? errno : ENOSPC));
                written += put;
            }
            done += static_cast<std::uint64_t>(got);
        }
        from += step;
    }
}

void OutputFile::SetTimes(const struct timespec (&times)[2]) {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    Flush();
    if (::futimens(m_fd, times) != 0) Fail(SystemReason(errno));
}

}  // namespace quernfold
