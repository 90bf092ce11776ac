#include "engine/platform/posix/ContainedRoot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"

namespace quernfold {

namespace {

constexpr char kSep = '/';
constexpr int kMostLinks = 40;  // as the kernel allows on one path

[[noreturn]] void ThrowOutsideRoot() {
    throw FileError(ContainedRoot::OutsideRootReason());
}

/** Closes a descriptor on every way out unless released. */
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

// The descriptors of the folders below the root on the way to a file, innermost last.
struct FolderChain {
    std::vector<int> fds;
    ~FolderChain() { Clear(); }
    void Clear() {
        for (const int fd : fds) ::close(fd);
        fds.clear();
    }
};

// Adds the named segments of text in front of pending, in order; "" and "." name nothing.
void PushFront(std::deque<std::string>& pending, std::string_view text) {
    const std::vector<std::string_view> pieces = SplitKeepEmpty(text, kSep);
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
        if (!piece->empty() && *piece != ".") pending.emplace_front(*piece);
    }
}

std::vector<std::string_view> NamedSegments(std::string_view path) {
    std::vector<std::string_view> named;
    for (const std::string_view segment : SplitKeepEmpty(path, kSep)) {
        if (!segment.empty() && segment != ".") named.push_back(segment);
    }
    return named;
}

// The target of the link name in folder at, or false when name is not a link.
bool ReadLink(int at, const std::string& name, std::string& target) {
    target.resize(256);
    for (;;) {
        const ssize_t got = ::readlinkat(at, name.c_str(), target.data(), target.size());
        if (got < 0) return false;
        if (static_cast<std::size_t>(got) < target.size()) {
            target.resize(static_cast<std::size_t>(got));
            return true;
        }
        target.resize(target.size() * 2);
    }
}

// The text before the last separator of a real path; "/" for a folder at the top.
std::string ParentOf(const std::string& realPath) {
    const std::size_t slash = realPath.rfind(kSep);
    return slash == 0 || slash == std::string::npos ? std::string(1, kSep) : realPath.substr(0, slash);
}

int Failed(int error) {
    errno = error;
    return -1;
}

int OpenAt(int at, const char* name, int flags) {
    for (;;) {
        const int fd = ::openat(at, name, flags);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

}  // namespace

ContainedRoot::ContainedRoot(std::string rootText, Containment containment)
    : m_rootText(rootText.empty() ? std::string() : WithTrailingSeparator(rootText, kSep)),
#if defined(__linux__) && defined(SYS_openat2)
      m_useKernel(containment == Containment::Kernel)
#else
      m_useKernel(false)
#endif
{
    static_cast<void>(containment);
}

ContainedRoot::~ContainedRoot() {
    if (m_rootFd >= 0) ::close(m_rootFd);
}

std::string ContainedRoot::OutsideRootReason() {
    return OutsideSiteRootReason(true);
}

// The paths the engine builds begin with the text of the site root (the walk lists them so, the include resolver
// joins the root or a page's folder with a target). Anything else is compared by segments, where an absolute path
// never lies below a relative root, nor the other way round.
std::optional<std::string> ContainedRoot::RelativeToRoot(const std::string& path) const {
    if (path.compare(0, m_rootText.size(), m_rootText) == 0) {
        std::string rest = path.substr(m_rootText.size());
        return rest.empty() ? std::string(".") : rest;
    }
    const bool pathAbsolute = !path.empty() && path.front() == kSep;
    const bool rootAbsolute = !m_rootText.empty() && m_rootText.front() == kSep;
    if (pathAbsolute != rootAbsolute) return std::nullopt;
    const std::vector<std::string_view> pathSegments = NamedSegments(path);
    const std::vector<std::string_view> rootSegments = NamedSegments(m_rootText);
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

bool ContainedRoot::UsesKernel() {
    RootDescriptor();  // finds out whether openat2 works here
    return m_useKernel;
}

int ContainedRoot::Open(const std::string& path, int flags) {
    const int fd = TryOpen(path, flags);
    if (fd >= 0) return fd;
    if (errno == EXDEV) ThrowOutsideRoot();
    throw FileError(SystemReason(errno));
}

int ContainedRoot::TryOpen(const std::string& path, int flags) {
    const std::optional<std::string> relative = RelativeToRoot(path);
    if (!relative) {
        errno = EXDEV;
        return -1;
    }
    if (!UsesKernel()) return OpenBySegments(*relative, flags);
    const int fd = OpenBeneath(*relative, flags);
    // EXDEV: the resolution left the root, or passed an absolute link (always refused beneath a descriptor) that
    // may well lead back inside it; the segment-wise way decides by the same rules as for every other link.
    if (fd >= 0 || errno != EXDEV) return fd;
    return OpenBySegments(*relative, flags);
}

std::optional<struct stat> ContainedRoot::StatOf(const std::string& path, std::string* realPath) {
    FdGuard fd{TryOpen(path, O_PATH | O_CLOEXEC)};
    if (fd.fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0) return std::nullopt;
    if (realPath) {
        realPath->clear();
        // The kernel names the opened file by its real path; below the real root it is the site's own name for it.
        std::string real;
        const std::string procPath = "/proc/self/fd/" + std::to_string(fd.fd);
        const std::string& root = *m_realRoot;
        if (ReadLink(AT_FDCWD, procPath, real) && root != "/" && real.starts_with(root + kSep)) {
            *realPath = real.substr(root.size() + 1);
        } else if (ReadLink(AT_FDCWD, procPath, real) && root == "/" && real.size() > 1) {
            *realPath = real.substr(1);
        }
    }
    return info;
}

int ContainedRoot::OpenBeneath(const std::string& relative, int flags) const {
#if defined(__linux__) && defined(SYS_openat2)
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, m_rootFd, relative.c_str(), &how, sizeof how);
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

// Every segment is opened from the descriptor of the folder before it with O_NOFOLLOW, so the kernel never follows
// a link on the way: a link is read and its target put in front of what is left, and ".." takes back one folder of
// the chain held here (never the file system's "..", which a folder moved elsewhere would change).
int ContainedRoot::OpenBySegments(const std::string& relative, int flags) const {
    const int root = m_rootFd;
    FolderChain chain;
    std::deque<std::string> pending;
    PushFront(pending, relative);
    int links = 0;
    std::string target;
    while (!pending.empty()) {
        const std::string segment = std::move(pending.front());
        pending.pop_front();
        const int at = chain.fds.empty() ? root : chain.fds.back();
        if (segment == ".." && chain.fds.empty()) {
            // Above the root: what follows is read as text from the root's parent, as an absolute link is
            // ("../site/a.jsp" seen from the root folder named site comes back in).
            target = ParentOf(*m_realRoot);
            for (const std::string& rest : pending) target.append(1, kSep).append(rest);
            pending.clear();
            if (++links > kMostLinks) return Failed(ELOOP);
        } else if (segment == "..") {
            ::close(chain.fds.back());
            chain.fds.pop_back();
            continue;
        } else {
            const bool last = pending.empty();
            const int segmentFlags =
                last ? flags | O_NOFOLLOW | O_CLOEXEC : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            FdGuard fd{OpenAt(at, segment.c_str(), segmentFlags)};
            bool isLink = false;
            // A link swapped back for a folder between the open and the read of the link is opened again.
            for (int tries = 0; fd.fd < 0 && !isLink; ++tries) {
                const int failure = errno;
                isLink = (failure == ELOOP || failure == ENOTDIR) && ReadLink(at, segment, target);
                if (isLink) break;
                if (tries == 2 || errno != EINVAL) return Failed(failure);
                fd.fd = OpenAt(at, segment.c_str(), segmentFlags);
            }
            if (!isLink && last && (flags & O_PATH) != 0) {
                // O_PATH with O_NOFOLLOW opens a link itself rather than failing.
                struct stat info {};
                if (::fstat(fd.fd, &info) != 0) return Failed(errno);
                isLink = S_ISLNK(info.st_mode) && ReadLink(at, segment, target);
            }
            if (!isLink) {
                if (last) return fd.Release();
                chain.fds.push_back(fd.Release());
                continue;
            }
            if (++links > kMostLinks) return Failed(ELOOP);
        }
        if (!target.empty() && target.front() == kSep) {
            // An absolute link is followed when its text lies below the real root: resolution starts again there.
            const std::string& realRoot = *m_realRoot;
            const bool below = realRoot == "/" || target == realRoot ||
                               (target.compare(0, realRoot.size(), realRoot) == 0 && target[realRoot.size()] == kSep);
            if (!below) return Failed(EXDEV);
            chain.Clear();
            target.erase(0, realRoot == "/" ? 0 : realRoot.size());
        }
        PushFront(pending, target);
    }
    // The path named the root itself, or came back to a folder on the way.
    const int at = chain.fds.empty() ? root : chain.fds.back();
    return OpenAt(at, ".", flags | O_CLOEXEC);
}

const std::string& ContainedRoot::RealRoot() {
    if (!m_realRoot) {
        char* real = ::realpath(m_rootText.empty() ? "." : m_rootText.c_str(), nullptr);
        if (!real) throw FileError("the site root " + m_rootText + " cannot be resolved: " + SystemReason(errno));
        m_realRoot = real;
        std::free(real);
    }
    return *m_realRoot;
}

int ContainedRoot::RootDescriptor() {
    if (m_rootFd < 0 && m_rootError == 0) {
        // Opened once: every later open is resolved beneath this very folder, even if the root's path changes.
        m_rootFd = ::open(m_rootText.empty() ? "." : m_rootText.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_rootFd < 0) {
            m_rootError = errno;
            throw FileError("the site root " + m_rootText + " cannot be opened: " + SystemReason(m_rootError));
        }
        RealRoot();
        if (m_useKernel) {
            // An old kernel lacks openat2, and a sandbox may forbid it (EPERM): then the segment-wise way it is.
            FdGuard probe{OpenBeneath(".", O_PATH | O_CLOEXEC)};
            if (probe.fd < 0 && (errno == ENOSYS || errno == EPERM)) m_useKernel = false;
        }
    }
    if (m_rootFd < 0) {
        throw FileError("the site root " + m_rootText + " cannot be opened: " + SystemReason(m_rootError));
    }
    return m_rootFd;
}

}  // namespace quernfold
