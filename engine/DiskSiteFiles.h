#pragma once

#include <optional>
#include <string>

#include "engine/SiteFiles.h"

namespace quernfold {

/**
 * The site as it stands on disk. Nothing is read from outside the site root, not even through a link: a file or
 * folder whose real location lies outside the real site root is refused. On Linux the kernel resolves each path
 * beneath a descriptor of the site root (openat2 with RESOLVE_BENEATH), so a link swapped in during the run
 * cannot lead out either; elsewhere, or where openat2 is missing, the real path is compared by segments.
 */
class DiskSiteFiles : public SiteFiles {
public:
    /** Kernel: openat2 where it exists, else Portable. Portable: realpath and a segment comparison (tests). */
    enum class Containment { Kernel, Portable };

    /** siteRoot as the paths given to Open begin with it; relative to the working folder when relative. */
    explicit DiskSiteFiles(std::string siteRoot, Containment containment = Containment::Kernel);
    ~DiskSiteFiles() override;
    DiskSiteFiles(const DiskSiteFiles&) = delete;
    DiskSiteFiles& operator=(const DiskSiteFiles&) = delete;

    /** Throws FileError; for a file outside the site root the description says so. */
    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    /** Empty, as for a folder that cannot be listed, when the folder lies outside the site root. */
    std::vector<std::string> ListNames(const std::string& folder) override;

    /** The description of a refused file, also for the caller's tests. */
    static const char* OutsideRootReason();

private:
    std::optional<std::string> RelativeToRoot(const std::string& path) const;
    int OpenContained(const std::string& path, int flags);
    int OpenBeneath(const std::string& relative, int flags);
    int OpenByRealPath(const std::string& path, int flags);
    const std::string& RealRoot();
    int RootDescriptor();

    std::string m_siteRoot;  // ends in the separator, or is empty for the working folder
    bool m_useKernel;
    int m_rootFd = -1;
    int m_rootError = 0;
    std::optional<std::string> m_realRoot;
};

}  // namespace quernfold
