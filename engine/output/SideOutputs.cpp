#include "engine/output/SideOutputs.h"

#include "engine/platform/FileSystem.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/log/LogLines.h"

namespace quernfold {

namespace {

std::string FolderOf(const std::string& path) {
    const std::string folder = ParentDir(path, kNativeSeparator);
    if (!folder.empty()) return folder;
    return path.starts_with(kNativeSeparator) ? std::string(1, kNativeSeparator) : ".";
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind(kNativeSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<FileId> SideOutputId(const std::string& target) {
    const std::optional<PathInfo> info = LookAt(target, Links::DoNotFollow);
    if (!info || info->kind != EntryKind::File) return std::nullopt;
    return info->id;
}

bool NeedsIncludes(const std::string& target, const std::string& siteRoot) {
    if (!SideOutputId(target)) return false;
    const auto site = IdentityOf(siteRoot);
    return site && LiesInOneOf(FolderOf(target), {*site});
}

std::optional<std::string> WhySideOutputIsTaken(const std::string& target, const RunFilesBeforeStart& files) {
    if (const auto id = SideOutputId(target)) {
        if (files.pageIds.count(*id)) return SideOutputTakenText(target, "it is a page of the site");
        if (files.includeIds.count(*id)) return SideOutputTakenText(target, "it is a file the run includes");
    }
    // The same name in the same folder, however either is spelled.
    const std::string name = NameOf(target);
    std::optional<std::optional<FileId>> folder;
    for (std::size_t page = 0; page < files.outputs.Count(); ++page) {
        const std::string outputPath = files.outputs.PathOf(page);
        if (NameOf(outputPath) != name) continue;
        if (!folder) folder = IdentityOf(FolderOf(target));
        if (*folder && IdentityOf(FolderOf(outputPath)) == **folder)
            return SideOutputTakenText(target, "it is the output file " + outputPath + " of this run");
    }
    return std::nullopt;
}

}  // namespace quernfold
