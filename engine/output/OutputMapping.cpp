#include "engine/output/OutputMapping.h"

#include <sys/stat.h>

#include <cerrno>

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"

namespace quernfold {

void MakeOutputFolders(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        struct stat info {};
        if (::lstat(folder.c_str(), &info) == 0) {
            if (S_ISLNK(info.st_mode)) {
                throw FileError(OutputFolderIsLinkReason(folder));
            }
            continue;
        }
        if (errno != ENOENT) throw FileError(SystemReason(errno));
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) throw FileError(SystemReason(errno));
    }
}

OutputPathPlan MapOutputPath(const std::string& sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                             std::string_view outputTypeTrimmed) {
    return PlanOutputPath(sourcePath, siteRoot, outputRoot, outputTypeTrimmed, kNativeSeparator);
}

}  // namespace quernfold
