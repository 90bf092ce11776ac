#include "engine/OutputMapping.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/Errors.h"
#include "engine/LogLines.h"
#include "engine/PathRules.h"

namespace quernfold {

std::string MapOutputPath(const std::string& sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                          std::string_view outputTypeTrimmed, std::vector<std::string>* created) {
    OutputPathPlan plan = PlanOutputPath(sourcePath, siteRoot, outputRoot, outputTypeTrimmed, kNativeSeparator);
    for (const std::string& folder : plan.folders) {
        struct stat info {};
        if (::lstat(folder.c_str(), &info) == 0) {
            if (S_ISLNK(info.st_mode)) {
                throw FileError(OutputFolderIsLinkReason(folder));
            }
            continue;
        }
        if (errno != ENOENT) throw FileError(SystemReason(errno));
        if (::mkdir(folder.c_str(), 0777) == 0) {
            if (created) created->push_back(folder);
        } else if (errno != EEXIST) {
            throw FileError(SystemReason(errno));
        }
    }
    return std::move(plan.outputPath);
}

void RemoveCreatedFolders(const std::vector<std::string>& created) noexcept {
    for (auto folder = created.rbegin(); folder != created.rend(); ++folder) ::rmdir(folder->c_str());
}

}  // namespace quernfold
