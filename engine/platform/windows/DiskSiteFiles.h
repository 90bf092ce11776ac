#pragma once

#include <string>

#include "engine/platform/windows/ContainedFolder.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * The site as it stands on a Windows disk. Every file and folder is opened through the site's ContainedFolder,
 * so nothing outside the root is read, not through a junction or a symbolic link either. Folders are listed with
 * FindFirstFileExW while a handle holds them in place.
 */
class DiskSiteFiles : public SiteFiles {
public:
    explicit DiskSiteFiles(std::string siteRoot);

    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    std::vector<std::string> ListNames(const std::string& folder) override;
    FolderListing ListFolder(const std::string& folder) override;

private:
    const ContainedFolder& Root();
    // Which kind of entry a reparse point leads to, inside the site; nullopt when it leads out or nowhere.
    std::optional<FolderEntry> FollowLink(const std::string& path, std::string name);

    std::string m_rootText;
    std::optional<ContainedFolder> m_root;
};

}  // namespace quernfold
