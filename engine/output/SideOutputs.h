#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/output/PageOutputs.h"
#include "engine/output/PathRules.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/** What a run knows of its files before the first page: what a side output (--log) must never replace. */
struct RunFilesBeforeStart {
    const PageOutputs& outputs;
    const std::unordered_set<FileId, FileIdHash>& pageIds;
    const std::unordered_set<FileId, FileIdHash>& includeIds;  // filled only when NeedsIncludes said so
};

/** Identity of the regular file standing at target (links not followed: a link there is replaced, not written). */
std::optional<FileId> SideOutputId(const std::string& target);

/** Whether the includes must be known to judge target: a file stands there, and it lies inside the site root. */
bool NeedsIncludes(const std::string& target, const std::string& siteRoot);

/** Why writing target would replace a file of the site or of the run; nullopt when it would not. */
std::optional<std::string> WhySideOutputIsTaken(const std::string& target, const RunFilesBeforeStart& files);

}  // namespace quernfold
