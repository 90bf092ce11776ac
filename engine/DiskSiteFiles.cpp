#include "engine/DiskSiteFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include "engine/Errors.h"
#include "engine/LogLines.h"
#include "engine/PathRules.h"

namespace quernfold {

namespace {

constexpr char kSep = '/';

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

/** Closes a descriptor on every way out unless released. */
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

std::vector<std::string_view> Segments(std::string_view path) {
    std::vector<std::string_view> named;
    for (const std::string_view segment : SplitKeepEmpty(path, kSep)) {
        if (!segment.empty() && segment != ".") named.push_back(segment);
    }
    return named;
}

std::optional<std::string> RealPath(const std::string& path) {
    char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string result(real);
    std::free(real);
    return result;
}

// Real paths hold no links, "." or "..", so a text prefix that ends at a separator is a segment comparison.
bool RealPathWithin(const std::string& real, const std::string& realRoot) {
    if (realRoot == "/" || real == realRoot) return true;
    return real.size() > realRoot.size() && real.compare(0, realRoot.size(), realRoot) == 0 &&
           real[realRoot.size()] == kSep;
}

std::string RealPathBelow(const std::string& real, const std::string& realRoot) {
    if (real == realRoot) return ".";
    const std::size_t skip = realRoot == "/" ? 1 : realRoot.size() + 1;
    return real.substr(skip);
}

[[noreturn]] void ThrowOutsideRoot() {
    throw FileError(DiskSiteFiles::OutsideRootReason());
}

}  // namespace

DiskSiteFiles::DiskSiteFiles(std::string siteRoot, Containment containment)
    : m_siteRoot(siteRoot.empty() ? std::string() : WithTrailingSeparator(siteRoot, kSep)),
#if defined(__linux__) && defined(SYS_openat2)
      m_useKernel(containment == Containment::Kernel)
#else
      m_useKernel(false)
#endif
{
    static_cast<void>(containment);
}

DiskSiteFiles::~DiskSiteFiles() {
    if (m_rootFd >= 0) ::close(m_rootFd);
}

const char* DiskSiteFiles::OutsideRootReason() {
    static const std::string reason = OutsideSiteRootReason(true);
    return reason.c_str();
}

std::unique_ptr<SourceFile> DiskSiteFiles::Open(const std::string& path) {
    // Non-blocking, so a FIFO planted in the site cannot hang the run; it is refused below.
    FdGuard fd{OpenContained(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) throw FileError(SystemReason(errno));
    if (!S_ISREG(info.st_mode)) {
        throw FileError(S_ISDIR(info.st_mode) ? SystemReason(EISDIR) : NotARegularFileReason());
    }
    ::fcntl(fd.fd, F_SETFL, ::fcntl(fd.fd, F_GETFL) & ~O_NONBLOCK);
    const FileId id{static_cast<std::uint64_t>(info.st_dev), info.st_ino};
    return std::make_unique<DiskSourceFile>(fd.Release(), id);
}

EntryKind DiskSiteFiles::Kind(const std::string& path) {
    // Whether something stands there is no read of it; the open decides whether it may be read.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return EntryKind::Missing;
    if (S_ISREG(info.st_mode)) return EntryKind::File;
    if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
    return EntryKind::Other;
}

std::vector<std::string> DiskSiteFiles::ListNames(const std::string& folder) {
    std::vector<std::string> names;
    int fd = -1;
    try {
        fd = OpenContained(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    } catch (const FileError&) {
        return names;
    }
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

// The paths the engine builds begin with the text of the site root (the walk lists them so, the include resolver
// joins the root or a page's folder with a target). Anything else is compared by segments, where an absolute path
// never lies below a relative root, nor the other way round.
std::optional<std::string> DiskSiteFiles::RelativeToRoot(const std::string& path) const {
    if (path.compare(0, m_siteRoot.size(), m_siteRoot) == 0) {
        const std::string rest = path.substr(m_siteRoot.size());
        return rest.empty() ? std::string(".") : rest;
    }
    const bool pathAbsolute = !path.empty() && path.front() == kSep;
    const bool rootAbsolute = !m_siteRoot.empty() && m_siteRoot.front() == kSep;
    if (pathAbsolute != rootAbsolute) return std::nullopt;
    const std::vector<std::string_view> pathSegments = Segments(path);
    const std::vector<std::string_view> rootSegments = Segments(m_siteRoot);
    if (pathSegments.size() < rootSegments.size()) return std::nullopt;
    std::string rest;
    for (std::size_t i = 0; i < pathSegments.size(); ++i) {
        if (i < rootSegments.size()) {
            if (pathSegments[i] != rootSegments[i]) return std::nullopt;
            continue;
        }
        if (!rest.empty()) rest.push_back(kSep);
        rest.append(pathSegments[i]);
    }
    return rest.empty() ? std::string(".") : rest;
}

int DiskSiteFiles::OpenContained(const std::string& path, int flags) {
    const std::optional<std::string> relative = RelativeToRoot(path);
    if (!relative) ThrowOutsideRoot();
    if (m_useKernel) RootDescriptor();  // finds out whether openat2 works here
    if (!m_useKernel) return OpenByRealPath(path, flags);

    int fd = OpenBeneath(*relative, flags);
    if (fd >= 0) return fd;
    if (errno != EXDEV) throw FileError(SystemReason(errno));
    // The resolution left the root, or passed an absolute link (always refused beneath a descriptor) that may well
    // lead back inside it: the real path decides, and the kernel still checks the open of it.
    const std::optional<std::string> real = RealPath(path);
    if (!real) throw FileError(SystemReason(errno));
    if (!RealPathWithin(*real, RealRoot())) ThrowOutsideRoot();
    fd = OpenBeneath(RealPathBelow(*real, RealRoot()), flags);
    if (fd >= 0) return fd;
    if (errno == EXDEV) ThrowOutsideRoot();
    throw FileError(SystemReason(errno));
}

int DiskSiteFiles::OpenBeneath(const std::string& relative, int flags) {
#if defined(__linux__) && defined(SYS_openat2)
    const int root = m_rootFd;
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        // EAGAIN: a rename elsewhere raced with the lookup; the kernel asks for a retry.
        if (errno != EINTR && errno != EAGAIN) return -1;
    }
#else
    static_cast<void>(relative);
    static_cast<void>(flags);
    errno = ENOSYS;
    return -1;
#endif
}

// Without openat2: the real path must lie within the real root, and it is opened as resolved (a link swapped in at
// its last segment is refused; one swapped in above it between the two calls is the price of this way).
int DiskSiteFiles::OpenByRealPath(const std::string& path, int flags) {
    const std::optional<std::string> real = RealPath(path);
    if (!real) throw FileError(SystemReason(errno));
    if (!RealPathWithin(*real, RealRoot())) ThrowOutsideRoot();
    const int fd = ::open(real->c_str(), flags | O_NOFOLLOW);
    if (fd < 0) throw FileError(SystemReason(errno));
    return fd;
}

const std::string& DiskSiteFiles::RealRoot() {
    if (!m_realRoot) {
        const std::optional<std::string> real = RealPath(m_siteRoot);
        if (!real) throw FileError("the site root " + m_siteRoot + " cannot be resolved: " + SystemReason(errno));
        m_realRoot = *real;
    }
    return *m_realRoot;
}

int DiskSiteFiles::RootDescriptor() {
#if defined(__linux__) && defined(SYS_openat2)
    if (m_rootFd < 0 && m_rootError == 0) {
        // Opened once: every later open is resolved beneath this very folder, even if the root's path changes.
        m_rootFd = ::open(m_siteRoot.empty() ? "." : m_siteRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_rootFd < 0) {
            m_rootError = errno;
        } else {
            RealRoot();
            // An old kernel lacks openat2, and a sandbox may forbid it (EPERM): then the portable way it is.
            FdGuard probe{OpenBeneath(".", O_PATH | O_CLOEXEC)};
            if (probe.fd < 0 && (errno == ENOSYS || errno == EPERM)) m_useKernel = false;
        }
    }
#else
    m_rootError = ENOSYS;
#endif
    if (m_rootFd < 0) {
        throw FileError("the site root " + m_siteRoot + " cannot be opened: " + SystemReason(m_rootError));
    }
    return m_rootFd;
}

}  // namespace quernfold
