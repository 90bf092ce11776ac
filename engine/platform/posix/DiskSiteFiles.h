#pragma once

#include <string>

#include "engine/platform/posix/ContainedRoot.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * The site as it stands on disk. Nothing is read from outside the site root, not even through a link: every path
 * is opened beneath a descriptor of the root (see ContainedRoot), so a link swapped in during the run cannot lead
 * out either. A file is looked at through a descriptor that cannot read it (O_PATH) before it is opened, so a
 * device, FIFO or socket is refused unopened.
 */
class DiskSiteFiles : public SiteFiles {
public:
    using Containment = ContainedRoot::Containment;

    /** siteRoot as the paths given to Open begin with it; relative to the working folder when relative. */
    explicit DiskSiteFiles(std::string siteRoot, Containment containment = Containment::Kernel);

    /** Throws FileError; for a file outside the site root the description says so. */
    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    std::unique_ptr<SourceFile> OpenPage(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    std::optional<FileId> IdOf(const std::string& path) override;
    /** Empty, as for a folder that cannot be listed, when the folder lies outside the site root. */
    std::vector<std::string> ListNames(const std::string& folder) override;
    /** Kinds from the listing's entry types; only links and entries of unknown type are looked at. */
    FolderListing ListFolder(const std::string& folder) override;

    /** The description of a refused file, also for the caller's tests. */
    static std::string OutsideRootReason() { return ContainedRoot::OutsideRootReason(); }

private:
    ContainedRoot m_root;
};

}  // namespace quernfold
