#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace quernfold {

/**
 * The one place that decides what lies inside the site root. Paths are opened beneath a descriptor of the root
 * folder, never by their text: the kernel resolves them with openat2 and RESOLVE_BENEATH where it can; otherwise
 * (kernels before 5.6, a sandbox answering EPERM, an absolute link) every segment is opened on its own with
 * O_NOFOLLOW from the folder opened before it, and links are read and followed here under the same rules, so a
 * link swapped in at any segment during the run can never lead the open out of the root. ".." is taken back
 * segment by segment and may not leave the root; an absolute link is followed when its text lies below the real
 * root path.
 */
class ContainedRoot {
public:
    /** Kernel: openat2 where it works, else the segment-wise way. Segments: always the segment-wise way. */
    enum class Containment { Kernel, Segments };

    /** rootText as the paths given to the other calls begin with it; relative to the working folder if relative. */
    explicit ContainedRoot(std::string rootText, Containment containment = Containment::Kernel);
    ~ContainedRoot();
    ContainedRoot(const ContainedRoot&) = delete;
    ContainedRoot& operator=(const ContainedRoot&) = delete;

    /** The part of path below the root, "." for the root itself; nullopt when its segments do not begin there. */
    std::optional<std::string> RelativeToRoot(const std::string& path) const;

    /**
     * Opens path (which must begin with the root's text) with flags, O_NOFOLLOW added for the last segment in the
     * segment-wise way. Throws FileError: OutsideRootReason() when it leads out, else the system's reason.
     */
    int Open(const std::string& path, int flags);

    /** As Open, but returns -1 with errno set instead of throwing; errno EXDEV when the path leads out. */
    int TryOpen(const std::string& path, int flags);

    /**
     * The stat of what stands at path, resolved as Open does; nullopt (errno set, EXDEV: outside) otherwise. With
     * realPath, also where it really lies below the root ('/'-separated; empty when that cannot be told).
     */
    std::optional<struct stat> StatOf(const std::string& path, std::string* realPath = nullptr);

    /** Whether the kernel way is in use (false after openat2 was found missing or forbidden). */
    bool UsesKernel();

    static std::string OutsideRootReason();

private:
    int RootDescriptor();
    int OpenBeneath(const std::string& relative, int flags) const;
    int OpenBySegments(const std::string& relative, int flags) const;
    const std::string& RealRoot();

    std::string m_rootText;
    bool m_useKernel;
    int m_rootFd = -1;
    int m_rootError = 0;
    std::optional<std::string> m_realRoot;
};

}  // namespace quernfold
