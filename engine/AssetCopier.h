#pragma once

#include <functional>
#include <string>

#include "engine/SiteFiles.h"

namespace quernfold {

enum class CopyOutcome { Copied, Unchanged };

/**
 * Copies one static file: bytes identical, access and modification times kept, written through a temporary file
 * and a rename. A target that already has the source's size and modification time is left alone (Unchanged), so
 * a second run over an unchanged site copies nothing. A target that is a file the run reads (isReadByRun) is
 * never replaced. The target's folder must exist. Throws FileError or OutputError naming the reason.
 */
CopyOutcome CopyStaticFile(const std::string& source, const std::string& target,
                           const std::function<bool(const FileId&)>& isReadByRun);

}  // namespace quernfold
