#include "engine/run/RunPlan.h"

#include <map>
#include <unordered_set>

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"
#include "engine/platform/FileSystem.h"
#include "engine/log/Sinks.h"
#include "engine/site/SourceWalker.h"

namespace quernfold {

namespace {

// Whether a regular file stands at path and is one of the site's own: a listed page, or a file whose real
// folder lies inside the real site root.
bool IsFileOfTheSite(const std::string& path, const std::string& realRoot,
                     const std::unordered_set<FileId, FileIdHash>& pageIds) {
    const std::optional<PathInfo> info = LookAt(path);
    if (!info || info->kind != EntryKind::File) return false;
    if (pageIds.count(info->id) > 0) return true;
    if (realRoot.empty()) return false;
    const std::string folder = RealPathOf(ParentDir(path, kNativeSeparator) + kNativeSeparator);
    const std::string prefix = realRoot == "/" ? realRoot : realRoot + kNativeSeparator;
    return folder == realRoot || folder.starts_with(prefix);
}

}  // namespace

std::optional<std::vector<PlannedPage>> PlanConversion(const ConversionChoices& choices, MessageSink& messages) {
    if (TrimSpaces(choices.outputDir).empty()) {
        messages.ShowMessage(kNoOutputFolderText, kTitleReminder, MessageIcon::Stop);
        return std::nullopt;
    }
    if (TrimSpaces(choices.siteRoot).empty()) {
        messages.ShowMessage(kNoSiteRootText, kTitleReminder, MessageIcon::Stop);
        return std::nullopt;
    }
    const std::string outputRoot = WithTrailingSeparator(TrimSpaces(choices.outputDir), kNativeSeparator);
    const std::string siteRoot = WithTrailingSeparator(choices.siteRoot, kNativeSeparator);
    std::vector<std::string> sources;
    std::unordered_set<FileId, FileIdHash> pageIds;
    try {
        CollectSourceFiles(siteRoot, TrimSpaces(choices.sourceType), sources, &pageIds);
    } catch (const WalkError& failure) {
        messages.ShowMessage(FolderUnreadableText(failure.Folder(), failure.what()), kTitleError, MessageIcon::Stop);
        return std::nullopt;
    }

    const std::string outputType(TrimSpaces(choices.outputType));
    const std::unordered_set<std::string> listed(sources.begin(), sources.end());
    const std::string realRoot = RealPathOf(siteRoot);
    std::map<std::string, std::string> firstSourceOf;
    std::vector<PlannedPage> plan;
    plan.reserve(sources.size());
    for (const std::string& source : sources) {
        PlannedPage page;
        page.source = source;
        page.output = PlanOutputPath(source, siteRoot, outputRoot, outputType, kNativeSeparator).outputPath;
        const auto [earlier, first] = firstSourceOf.emplace(page.output, source);
        if (!first) page.collidesWith = earlier->second;
        page.outputIsSourceFile = listed.count(page.output) > 0 || IsFileOfTheSite(page.output, realRoot, pageIds);
        plan.push_back(std::move(page));
    }
    return plan;
}

}  // namespace quernfold
