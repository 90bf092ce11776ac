#pragma once

#include <functional>
#include <string>

#include "engine/output/OutputTree.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * Copies one static file into the open folder folderFd under name: bytes identical, access and modification
 * times kept, written through a temporary file and a rename. A file already there with the source's size and
 * modification time is left alone (Unchanged), so a second run over an unchanged site copies nothing. A file
 * there that the run reads (isReadByRun) is never replaced. Throws FileError or OutputError naming the reason.
 */
CopyOutcome CopyIntoFolder(int folderFd, const std::string& name, const std::string& displayPath, SourceFile& source,
                           const std::function<bool(const FileId&)>& isReadByRun);

}  // namespace quernfold
