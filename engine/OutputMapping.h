#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quernfold {

/**
 * `MapOutputPath`: the output path of a source page, creating the output folders that are missing, top down.
 * A file standing where a folder is needed is left alone (opening the page then fails); a link standing there
 * is not followed: the page fails, so pages never land outside the output folder. The folders it made are added
 * to created, when given. Throws FileError.
 */
std::string MapOutputPath(const std::string& sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                          std::string_view outputTypeTrimmed, std::vector<std::string>* created = nullptr);

/** Removes the folders MapOutputPath created for a page that is abandoned, deepest first, as far as they are empty. */
void RemoveCreatedFolders(const std::vector<std::string>& created) noexcept;

}  // namespace quernfold
