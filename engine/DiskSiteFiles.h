#pragma once

#include "engine/SiteFiles.h"

namespace quernfold {

/** The site as it stands on disk. */
class DiskSiteFiles : public SiteFiles {
public:
    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    std::vector<std::string> ListNames(const std::string& folder) override;
};

}  // namespace quernfold
