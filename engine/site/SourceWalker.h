#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/site/SiteFiles.h"
#include "engine/site/SiteWalk.h"

namespace quernfold {

/** Whether a file name is a source page: its last three characters, upper-cased, equal the type upper-cased. */
bool IsSourcePageName(std::string_view name, std::string_view sourceType);

/**
 * Walks folder and every folder below it through files and appends the source pages to fileList: a folder's
 * pages first, in listing order, then the whole tree of each sub-folder in order. Links are followed, but each
 * folder is walked once (a link back to an ancestor cannot loop), its identity taken from the folder itself, and
 * a link that leads out of the site root is neither walked nor listed. FIFOs, sockets, devices and broken links
 * are skipped. Every path begins with the exact text of folder. pageIds, when given, receives the identity of
 * every listed page whose identity is known. Throws WalkError when a folder cannot be listed.
 */
void CollectSourceFiles(SiteFiles& files, const std::string& folder, std::string_view sourceType,
                        std::vector<std::string>& fileList, std::unordered_set<FileId, FileIdHash>* pageIds = nullptr);

/** The same over the disk, folder being the site root. */
void CollectSourceFiles(const std::string& folder, std::string_view sourceType, std::vector<std::string>& fileList,
                        std::unordered_set<FileId, FileIdHash>* pageIds = nullptr);

}  // namespace quernfold
