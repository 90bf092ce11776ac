#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/** Identity of what stands at path, links followed; nullopt when nothing does. */
std::optional<FileId> IdentityOf(const std::string& path);

/**
 * Whether the folder at path, or any folder above it, is one of folders, climbing by "..", so a second spelling,
 * a link or a bind mount of a folder counts as that folder. A path that does not exist is judged by its nearest
 * existing ancestor (a folder the run would make there lies where that one lies).
 */
bool LiesInOneOf(const std::string& path, const std::unordered_set<FileId, FileIdHash>& folders);


}  // namespace quernfold
