#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/site/AssetRules.h"
#include "engine/report/RunReport.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/** One static file found in the site. */
struct AssetFile {
    std::string path;      // siteRoot + relative
    std::string relative;  // '/'-separated below the site root
};

struct AssetListing {
    std::vector<AssetFile> files;       // in walk order: a folder's files first, then each sub-folder's tree
    std::vector<PathReason> skipped;    // on the list but never published (closed folders as a whole)
    std::vector<PathReason> unreadable; // folders that could not be listed
};

/**
 * Walks the site for static files, through the same walk and the same containment as the pages: each real
 * folder once, nothing outside the site root. Hidden and closed folders are not entered, and neither is the
 * folder whose identity is skipFolder (the output folder, when it lies in the site). A folder that cannot be
 * listed is reported, never fatal: the pages are converted by then.
 */
AssetListing CollectAssets(SiteFiles& files, const std::string& siteRoot, const AssetRules& rules,
                           std::optional<FileId> skipFolder);

}  // namespace quernfold
