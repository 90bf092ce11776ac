#include "engine/platform/posix/OutputFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"

namespace quernfold {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;

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

// An unnamed file is put in place through its /proc/self/fd entry (linking by descriptor alone needs a
// privilege); without /proc it could never be published, so named temporary files are used from the start.
bool ProcFdAvailable() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

bool NoUnnamedFilesHere(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

bool FolderRefusesNewNames(int error) { return error == EACCES || error == EPERM || error == EROFS; }

std::string ProcPathOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

std::string RandomTemporaryName() {
    unsigned char bytes[8] = {};
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t done = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (done < 0) {
            if (errno == EINTR) continue;
            // No entropy source at all: the address space layout is still not something a page can guess.
            static std::atomic<unsigned long> counter{0};
            const unsigned long mix = reinterpret_cast<std::uintptr_t>(&got) ^ (counter++ * 0x9E3779B97F4A7C15ULL);
            for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(mix >> (8 * i));
            break;
        }
        got += static_cast<std::size_t>(done);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = ".quernfold-";
    for (const unsigned char byte : bytes) {
        name += kHex[byte >> 4];
        name += kHex[byte & 0x0F];
    }
    return name + ".tmp";
}

OutputFile::OutputFile(const std::string& path, const WritePolicy& policy) : m_path(path) {
    if (policy.throughOpenDescriptor && OpenThroughDescriptor(path)) return;
    std::string target = path;
    if (policy.link == WritePolicy::LinkAtTarget::Follow) {
        // The file a link names is the one replaced, so the link stays a link (a dotfiles repository's config).
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            if (char* real = ::realpath(path.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
    }
    const auto slash = target.rfind(kNativeSeparator);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    m_name = slash == std::string::npos ? target : target.substr(slash + 1);
    m_folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0) throw OutputError(SystemReason(errno));
    m_ownsFolder = true;
    try {
        Open(policy);
    } catch (...) {
        CloseFolder();
        throw;
    }
}

bool OutputFile::OpenThroughDescriptor(const std::string& path) {
    const int open = StandardDescriptorOf(path);
    if (open < 0) return false;
    const int flags = ::fcntl(open, F_GETFL);
    if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) throw OutputError(SystemReason(EBADF));
    m_fd = ::fcntl(open, F_DUPFD_CLOEXEC, 3);
    if (m_fd < 0) throw OutputError(SystemReason(errno));
    // The duplicate shares the offset: what is written lands where the descriptor stands, after what is there.
    m_mode = Mode::InPlace;
    m_throughDescriptor = true;
    struct stat info {};
    if (::fstat(m_fd, &info) == 0) m_id = {static_cast<std::uint64_t>(info.st_dev), info.st_ino};
    m_buffer = t_buffers.Take();
    return true;
}

OutputFile::OutputFile(int folderFd, const std::string& name, std::string displayPath, const WritePolicy& policy)
    : m_path(std::move(displayPath)), m_name(name), m_folderFd(folderFd) {
    Open(policy);
}

OutputFile::OutputFile(Ahead, int folderFd) : m_folderFd(folderFd), m_ahead(true) {
    // No name is looked up: the file has no target until MoveTo.
    const mode_t createMode = 0666;
    if (ProcFdAvailable()) {
        m_fd = ::openat(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
        if (m_fd < 0 && !NoUnnamedFilesHere(errno)) Fail(SystemReason(errno));
    }
    if (m_fd < 0) {
        OpenNamedTemporary(createMode, false);
    } else {
        m_mode = Mode::Unnamed;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) == 0) m_id = {static_cast<std::uint64_t>(info.st_dev), info.st_ino};
    // Written whole at once by a worker, and many are held at a time: no buffer of its own.
    m_unbuffered = true;
}

void OutputFile::MoveTo(int folderFd, const std::string& name, std::string displayPath) {
    if (!m_ahead) throw OutputError("the file already has its name");
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    m_ahead = false;
    m_path = std::move(displayPath);
    if (m_mode == Mode::NamedTemporary && folderFd != m_folderFd) {
        // The temporary file goes beside its target now, so that putting it in place is one rename there.
        if (::renameat(m_folderFd, m_tempName.c_str(), folderFd, m_tempName.c_str()) != 0) Fail(SystemReason(errno));
    }
    CloseFolder();
    m_folderFd = folderFd;
    m_name = name;
    struct stat existing {};
    m_targetExisted = ::fstatat(m_folderFd, m_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
}

void OutputFile::Open(const WritePolicy& policy) {
    m_sizeLimit = policy.sizeLimit;
    m_sync = policy.sync;
    struct stat existing {};
    m_targetExisted = ::fstatat(m_folderFd, m_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (m_targetExisted && policy.inPlaceIfNotRegular) {
        struct stat followed {};
        if (::fstatat(m_folderFd, m_name.c_str(), &followed, 0) == 0 && !S_ISREG(followed.st_mode)) {
            m_fd = ::openat(m_folderFd, m_name.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
            if (m_fd < 0) Fail(SystemReason(errno));
            // Pages of a pipe writer block as usual once open.
            ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
            m_mode = Mode::InPlace;
        }
    }
    const bool regularTarget = m_targetExisted && S_ISREG(existing.st_mode);
    if (m_fd < 0 && regularTarget && policy.leaveUnwritableTarget) {
        // The user made the file read-only; renaming over it would ignore that. Root may write any file, but one
        // without a single write bit was made read-only on purpose too.
        if (::faccessat(m_folderFd, m_name.c_str(), W_OK, AT_EACCESS) != 0) Fail(SystemReason(errno));
        if ((existing.st_mode & 0222) == 0) Fail(SystemReason(EACCES));
    }
    // A kept mode is set exactly once the file is open; a new file gets 0666 less the umask, as any new file does.
    const bool keepMode = policy.keepMode && regularTarget;
    const mode_t mode = keepMode ? (existing.st_mode & 07777) : 0666;
    const mode_t createMode = keepMode ? 0600 : 0666;
    const bool mayRewriteInPlace = regularTarget && policy.inPlaceIfFolderReadOnly;
    if (m_fd < 0) {
        if (policy.unnamed && ProcFdAvailable()) {
            m_fd = ::openat(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
            if (m_fd >= 0) {
                m_mode = Mode::Unnamed;
            } else if (!NoUnnamedFilesHere(errno) && !(FolderRefusesNewNames(errno) && mayRewriteInPlace)) {
                Fail(SystemReason(errno));
            }
        }
        if (m_fd < 0) OpenNamedTemporary(createMode, mayRewriteInPlace);
        if (m_fd < 0) {
            // A writable file in a folder that takes no new names can only be rewritten where it stands.
            m_fd = ::openat(m_folderFd, m_name.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
            if (m_fd < 0) Fail(SystemReason(errno));
            m_mode = Mode::InPlace;
        }
    }
    if (keepMode && m_mode != Mode::InPlace && ::fchmod(m_fd, mode) != 0) Fail(SystemReason(errno));
    struct stat info {};
    if (::fstat(m_fd, &info) == 0) m_id = {static_cast<std::uint64_t>(info.st_dev), info.st_ino};
    m_buffer = t_buffers.Take();
}

// Leaves m_fd closed only when the folder refuses new names and the caller may rewrite the target in place.
void OutputFile::OpenNamedTemporary(mode_t createMode, bool mayRewriteInPlace) {
    for (unsigned attempt = 0;; ++attempt) {
        std::string name = RandomTemporaryName();
        m_fd = ::openat(m_folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, createMode);
        if (m_fd >= 0) {
            m_tempName = std::move(name);
            m_mode = Mode::NamedTemporary;
            return;
        }
        if (errno == EEXIST && attempt < 100) continue;
        if (FolderRefusesNewNames(errno) && mayRewriteInPlace) return;
        Fail(SystemReason(errno));
    }
}

OutputFile::~OutputFile() {
    Discard();
    t_buffers.Give(std::move(m_buffer));
}

void OutputFile::CloseFolder() noexcept {
    if (m_ownsFolder && m_folderFd >= 0) ::close(m_folderFd);
    m_folderFd = -1;
    m_ownsFolder = false;
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
    if (m_unbuffered) {
        WriteAll(bytes);
        return;
    }
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

void OutputFile::LinkInPlace() {
    const std::string proc = ProcPathOf(m_fd);
    if (!m_targetExisted) {
        if (::linkat(AT_FDCWD, proc.c_str(), m_folderFd, m_name.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
        if (errno != EEXIST) Fail(SystemReason(errno));
        // Something took the name meanwhile: replace it like any earlier file.
    }
    for (unsigned attempt = 0;; ++attempt) {
        std::string name = RandomTemporaryName();
        if (::linkat(AT_FDCWD, proc.c_str(), m_folderFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_tempName = std::move(name);
            break;
        }
        if (errno != EEXIST || attempt >= 100) Fail(SystemReason(errno));
    }
    if (::renameat(m_folderFd, m_tempName.c_str(), m_folderFd, m_name.c_str()) != 0) Fail(SystemReason(errno));
    m_tempName.clear();
}

void OutputFile::Publish() {
    if (!m_error.empty()) throw OutputError(m_error);
    if (m_fd < 0) Fail("the output file is closed");
    if (m_ahead) Fail("the output file has no name yet");
    Flush();
    if (m_mode == Mode::InPlace && !m_throughDescriptor) {
        struct stat info {};
        // What an earlier, longer file held beyond the new end goes.
        if (::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(m_fd, static_cast<off_t>(m_written)))
            Fail(SystemReason(errno));
    }
    if (m_sync && ::fsync(m_fd) != 0 && errno != EINVAL) Fail(SystemReason(errno));
    if (m_mode == Mode::Unnamed) LinkInPlace();
    const int fd = m_fd;
    m_fd = -1;
    // A full disk often shows only at close.
    if (::close(fd) != 0) Fail(SystemReason(errno));
    if (m_mode == Mode::NamedTemporary) {
        if (::renameat(m_folderFd, m_tempName.c_str(), m_folderFd, m_name.c_str()) != 0) Fail(SystemReason(errno));
        m_tempName.clear();
    }
    // Makes the new name durable; the file is complete either way, so a failure here is not reported.
    if (m_sync) ::fsync(m_folderFd);
    CloseFolder();
}

void OutputFile::Discard() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.empty()) {
        ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
        m_tempName.clear();
    }
    CloseFolder();
}

std::unique_ptr<PageOutput> CreateAtomicFile(const std::string& path, const WritePolicy& policy) {
    return std::make_unique<OutputFile>(path, policy);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes, const WritePolicy& policy) {
    OutputFile file(path, policy);
    file.Write(bytes);
    file.Publish();
}

}  // namespace quernfold
