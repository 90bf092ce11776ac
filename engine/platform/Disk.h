#pragma once

#include <memory>
#include <string>

#include "engine/output/OutputTree.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/** The site as it stands on disk, every open contained beneath siteRoot (paths given begin with its text). */
std::unique_ptr<SiteFiles> OpenSiteOnDisk(std::string siteRoot);

/** The output folder on disk, every output folder opened once and never through a link. */
std::unique_ptr<OutputTree> OpenOutputTreeOnDisk(std::string outputRoot);

}  // namespace quernfold
