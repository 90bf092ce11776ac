#include "engine/output/SideOutputs.h"

#include "engine/platform/AtomicFile.h"
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

// The path of target below the output root ('/'-separated), by the real paths of both; nullopt when it lies
// elsewhere.
std::optional<std::string> BelowOutputRoot(const std::string& target, const std::string& outputRoot) {
    const std::string root = RealPathOf(outputRoot);
    const std::string folder = RealPathOf(FolderOf(target));
    if (root.empty() || folder.empty()) return std::nullopt;
    if (folder == root) return NameOf(target);
    const std::string prefix = root == "/" ? root : root + kNativeSeparator;
    if (!folder.starts_with(prefix)) return std::nullopt;
    return folder.substr(prefix.size()) + '/' + NameOf(target);
}

}  // namespace

bool NamesOpenDescriptor(const std::string& target) { return StandardDescriptorOf(target) >= 0; }

std::optional<FileId> SideOutputId(const std::string& target) {
    const std::optional<PathInfo> info = LookAt(target, Links::Follow);
    if (!info || info->kind != EntryKind::File) return std::nullopt;
    return info->id;
}

bool NeedsIncludes(const std::string& target, const std::string& siteRoot) {
    if (NamesOpenDescriptor(target) || !SideOutputId(target)) return false;
    const auto site = IdentityOf(siteRoot);
    return site && LiesInOneOf(FolderOf(target), {*site});
}

std::optional<std::string> WhySideOutputIsTaken(const std::string& target, const RunFilesBeforeStart& files) {
    if (NamesOpenDescriptor(target)) return std::nullopt;
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
    if (files.isStaticOutput) {
        if (const std::optional<std::string> relative = BelowOutputRoot(target, files.outputRoot);
            relative && files.isStaticOutput(*relative)) {
            return SideOutputTakenText(target, "it is the copy of the static file " + *relative + " of this run");
        }
    }
    if (const auto id = SideOutputId(target); id && files.isFileOfSite && files.isFileOfSite(*id)) {
        return SideOutputTakenText(target, "it is a file of the site");
    }
    return std::nullopt;
}

std::optional<std::string> WhySideOutputsClash(const std::string& target, const std::string& other) {
    if (NamesOpenDescriptor(target) || NamesOpenDescriptor(other)) return std::nullopt;
    const auto id = SideOutputId(target);
    const bool same = id ? id == SideOutputId(other)
                         : NameOf(target) == NameOf(other) && IdentityOf(FolderOf(target)) &&
                               IdentityOf(FolderOf(target)) == IdentityOf(FolderOf(other));
    if (!same) return std::nullopt;
    return SideOutputTakenText(target, "it is also the file of another option (" + other + ")");
}

}  // namespace quernfold
