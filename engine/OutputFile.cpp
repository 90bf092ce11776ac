#include "engine/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "engine/Errors.h"
#include "engine/LogLines.h"
#include "engine/PathRules.h"

namespace quernfold {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;

std::string TempPathBeside(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto slash = path.rfind(kNativeSeparator);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + ".quernfold-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt) + ".tmp";
}

// Buffers outlive their files: a run writes thousands of small pages one after the other, and a fresh quarter
// megabyte for each costs a large allocation (and the allocator's tidying that comes with it) per page.
class BufferPool {
public:
    std::string Take() {
        if (m_free.empty()) {
            std::string buffer;
            buffer.reserve(kBufferSize);
            return buffer;
        }
        std::string buffer = std::move(m_free.back());
        m_free.pop_back();
        return buffer;
    }
    void Give(std::string&& buffer) {
        if (m_free.size() >= kKept || buffer.capacity() < kBufferSize) return;
        buffer.clear();
        m_free.push_back(std::move(buffer));
    }

private:
    static constexpr std::size_t kKept = 2;  // a page and the --log file are the most written at once
    std::vector<std::string> m_free;
};

thread_local BufferPool t_buffers;

bool ExistsAsNonRegular(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

OutputFile::OutputFile(std::string path, Target target, std::uint64_t sizeLimit)
    : m_path(std::move(path)), m_sizeLimit(sizeLimit) {
    if (target == Target::InPlaceIfNotRegular && ExistsAsNonRegular(m_path)) {
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0) throw OutputError(SystemReason(errno));
        // Pages of a pipe writer block as usual once open.
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    } else {
        for (unsigned attempt = 0; m_fd < 0; ++attempt) {
            m_tempPath = TempPathBeside(m_path, attempt);
            // 0666 less the umask, as for any newly created file.
            m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (m_fd < 0 && (errno != EEXIST || attempt > 100)) throw OutputError(SystemReason(errno));
        }
    }
    struct stat info {};
    if (::fstat(m_fd, &info) == 0) m_id = {static_cast<std::uint64_t>(info.st_dev), info.st_ino};
    m_buffer = t_buffers.Take();
}

OutputFile::~OutputFile() {
    Discard();
    t_buffers.Give(std::move(m_buffer));
}

void OutputFile::Fail(const std::string& reason) {
    if (m_error.empty()) m_error = reason;
    throw OutputError(m_error);
}

void OutputFile::Write(std::string_view bytes) {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    if (bytes.size() > m_sizeLimit - m_written)
        Fail(OutputTooLargeReason(m_sizeLimit));
    m_written += bytes.size();
    if (m_buffer.size() + bytes.size() > kBufferSize) {
        Flush();
        if (bytes.size() >= kBufferSize) {
            // A long line (a 200 MB one-line page) goes straight out, not through a copy in the buffer.
            WriteAll(bytes);
            return;
        }
    }
    m_buffer.append(bytes);
}

void OutputFile::Flush() {
    try {
        WriteAll(m_buffer);
    } catch (...) {
        m_buffer.clear();
        throw;
    }
    m_buffer.clear();
}

void OutputFile::WriteAll(std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(m_fd, data, left);
        if (done < 0) {
            if (errno == EINTR) continue;
            Fail(SystemReason(errno));
        }
        if (done == 0) Fail(SystemReason(ENOSPC));
        data += done;
        left -= static_cast<std::size_t>(done);
    }
}

void OutputFile::Publish() {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    Flush();
    const int fd = m_fd;
    m_fd = -1;
    // A full disk often shows only at close.
    if (::close(fd) != 0) Fail(SystemReason(errno));
    if (!m_tempPath.empty()) {
        if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) Fail(SystemReason(errno));
        m_tempPath.clear();
    }
}

void OutputFile::PublishPartial() noexcept {
    if (m_fd < 0) return;
    try {
        // What the buffer holds was accepted before the failure (a size limit leaves it full; a failed write
        // has emptied it).
        Flush();
    } catch (...) {
    }
    ::close(m_fd);
    m_fd = -1;
    if (!m_tempPath.empty()) {
        if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

void OutputFile::Discard() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

void WriteFileAtomically(const std::string& path, std::string_view bytes, OutputFile::Target target) {
    OutputFile file(path, target);
    file.Write(bytes);
    file.Publish();
}

}  // namespace quernfold
