#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/output/PathRules.h"

namespace quernfold {

/**
 * `MapOutputPath`: where a source page goes, as the folders to make and the output file's path. Nothing is made
 * here: the run's OutputTree makes the folders when the page is written, so every page's output path is known
 * before the first page is converted.
 */
OutputPathPlan MapOutputPath(const std::string& sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                             std::string_view outputTypeTrimmed);

}  // namespace quernfold
