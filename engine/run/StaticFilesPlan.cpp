#include "engine/run/StaticFilesPlan.h"

#include <algorithm>
#include <optional>

#include "engine/output/PageOutputs.h"
#include "engine/output/PathRules.h"
#include "engine/platform/FileSystem.h"
#include "engine/platform/RunRecords.h"
#include "engine/run/ConversionRun.h"
#include "engine/run/RunPlan.h"
#include "engine/site/AssetWalker.h"

namespace quernfold {

namespace {

// The copy leaves a file whose size and time are the source's; the copy's finer test of coarse file times is
// not made here, so such a file may show as copied.
bool IsUnchanged(const std::string& source, const std::string& output) {
    const std::optional<FileStamp> from = StampAt(source);
    const std::optional<FileStamp> to = StampAt(output, false);
    return from && to && from->size == to->size && from->modifiedNs == to->modifiedNs;
}

}  // namespace

std::vector<PlannedStaticFile> PlanStaticFiles(const ConversionChoices& choices, const RunPlan& plan, SiteFiles& site,
                                               const FileIds& readByPages) {
    using Action = PlannedStaticFile::Action;
    std::optional<FileId> outputId;
    if (const std::optional<PathInfo> info = LookAt(plan.OutputRoot())) outputId = info->id;
    std::vector<PlannedStaticFile> planned;
    // An output folder that is the site root itself holds every file of the site: nothing is copied onto itself.
    const std::optional<PathInfo> rootInfo = LookAt(plan.SiteRoot());
    if (outputId && rootInfo && rootInfo->id == *outputId) return planned;
    AssetListing listing =
        CollectAssets(site, plan.SiteRoot(), ChosenAssetRules(plan.SourceType(), choices.assetTypes), outputId);
    for (PathReason& skipped : listing.skipped) {
        planned.push_back({std::move(skipped.path), {}, Action::Skip, std::move(skipped.reason)});
    }
    for (const AssetFile& file : listing.files) {
        std::string native = file.relative;
        std::replace(native.begin(), native.end(), '/', kNativeSeparator);
        PlannedStaticFile entry{file.path, plan.OutputRoot() + native, Action::Copy, {}};
        const std::optional<FileId> id = site.IdOf(file.path);
        if (plan.Outputs().FirstPageWith(entry.output)) {
            entry.why = "a converted page has the same output path";
        } else if (id && readByPages.count(*id) > 0) {
            entry.why = "a page of this run includes it";
        } else if (const std::optional<PathInfo> there = LookAt(entry.output);
                   there && there->kind == EntryKind::File && plan.IsFileOfTheSite(there->id)) {
            entry.why = "its output path is a file of the site";
        }
        if (!entry.why.empty()) {
            entry.action = Action::Skip;
            entry.output.clear();
        } else if (IsUnchanged(file.path, entry.output)) {
            entry.action = Action::Unchanged;
        }
        planned.push_back(std::move(entry));
    }
    return planned;
}

}  // namespace quernfold
