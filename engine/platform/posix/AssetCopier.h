#pragma once

#include <string>

#include "engine/output/OutputTree.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * Copies one static file into the open folder folderFd under name: its bytes as large as it was when opened,
 * holes kept, access and modification times kept, written through a temporary file and a rename. A file already
 * there with the source's size and modification time, as the output's file system keeps it (whole seconds on
 * some), is left alone (Unchanged), so a second run over an unchanged site copies nothing. A file there that
 * rules.mayNotReplace is never replaced (NotReplaced). Throws FileError or OutputError naming the reason, and
 * RunStopped when a stop is requested during the copy (nothing of it stays).
 */
CopyOutcome CopyIntoFolder(int folderFd, const std::string& name, const std::string& displayPath, SourceFile& source,
                           const CopyRules& rules);

}  // namespace quernfold
