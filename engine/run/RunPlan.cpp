#include "engine/run/RunPlan.h"

#include <algorithm>

#include "engine/log/LogLines.h"
#include "engine/log/Sinks.h"
#include "engine/output/OutputMapping.h"
#include "engine/platform/Disk.h"
#include "engine/platform/FileSystem.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/run/OverlapGuard.h"
#include "engine/run/SideOutputGuard.h"
#include "engine/site/CachedSiteFiles.h"
#include "engine/site/SourceWalker.h"
#include "engine/text/Errors.h"

namespace quernfold {

std::optional<Refusal> RefusalOf(const ConversionChoices& choices) {
    if (TrimSpaces(choices.outputDir).empty()) return Refusal{kNoOutputFolderText, kTitleReminder};
    // Without this the walk would start at the file-system root.
    if (TrimSpaces(choices.siteRoot).empty()) return Refusal{kNoSiteRootText, kTitleReminder};
    // A type becomes part of every output name: a separator or a dot folder in it would put pages elsewhere.
    if (!IsUsableType(TrimSpaces(choices.sourceType)) || !IsUsableType(TrimSpaces(choices.outputType))) {
        return Refusal{kBadTypeText, kTitleReminder};
    }
    return std::nullopt;
}

std::string PlannedSiteRoot(const ConversionChoices& choices) {
    return WithTrailingSeparator(choices.siteRoot, kNativeSeparator);
}

RunPlan::RunPlan(const ConversionChoices& choices, SiteFiles& files, std::vector<std::string>& pages, Options options)
    : m_siteRoot(PlannedSiteRoot(choices)),
      m_outputRoot(WithTrailingSeparator(TrimSpaces(choices.outputDir), kNativeSeparator)),
      m_sourceType(TrimSpaces(choices.sourceType)),
      m_outputType(TrimSpaces(choices.outputType)),
      m_pages(pages) {
    pages.clear();
    WalkRules walk;
    // The output folder, when it lies in the site, holds no file of the site: only what runs wrote there.
    std::vector<std::string> outputFolders;
    const std::optional<FileId> outputId = options.keepSiteFileIds ? IdentityOf(m_outputRoot) : std::nullopt;
    if (outputId) {
        walk.enter = [&](const std::string& path, const std::string&, const FolderEntry& entry) {
            if (entry.id == *outputId) outputFolders.push_back(path);
            return true;
        };
    }
    walk.file = [&](const std::string& path, const std::string&, const FolderEntry& entry) {
        if (options.keepSiteFileIds && entry.id.Known() &&
            std::none_of(outputFolders.begin(), outputFolders.end(),
                         [&](const std::string& folder) { return path.starts_with(folder); })) {
            m_siteFileIds.insert(entry.id);
        }
        if (!IsSourcePageName(entry.name, m_sourceType)) return;
        pages.push_back(path);
        if (entry.id.Known()) m_pageIds.insert(entry.id);
    };
    WalkSite(files, m_siteRoot, walk);
    m_outputs.emplace(pages, [this](const std::string& page) {
        return MapOutputPath(page, m_siteRoot, m_outputRoot, m_outputType).outputPath;
    });
    m_overlap = options.outputOnDisk && OutputOverlapsSite(m_siteRoot, m_outputRoot, pages);
}

OutputPathPlan RunPlan::OutputOf(std::size_t index) const {
    return MapOutputPath(m_pages[index], m_siteRoot, m_outputRoot, m_outputType);
}

bool RunPlan::IsFileOfTheSite(const FileId& id) const {
    return m_pageIds.count(id) > 0 || m_siteFileIds.count(id) > 0;
}

PlannedRun PlanConversion(const ConversionChoices& choices, MessageSink& messages) {
    PlannedRun planned;
    if (const std::optional<Refusal> refusal = RefusalOf(choices)) {
        messages.ShowMessage(refusal->text, refusal->title, MessageIcon::Stop);
        return planned;
    }
    const std::unique_ptr<SiteFiles> disk = OpenSiteOnDisk(PlannedSiteRoot(choices));
    std::vector<std::string> pages;
    try {
        RunPlan plan(choices, *disk, pages, {.outputOnDisk = true, .keepSiteFileIds = true});
        CachedSiteFiles cached(*disk);
        ExpanderSettings settings{choices.sourceType, choices.outputType, choices.codePage, kNativeSeparator};
        settings.dropServerCode = choices.dropServerCode;
        settings.anyCaseLinks = choices.anyCaseLinks;
        SideOutputGuard guard;
        if (auto taken = guard.Check(choices.sideOutputs, plan, [&] {
                return FilesReadByPages(settings, plan.SiteRoot(), cached, pages);
            })) {
            planned.sideOutputRefusal = std::move(*taken);
            return planned;
        }
        const std::unordered_set<std::string> listed(pages.begin(), pages.end());
        planned.pages.reserve(pages.size());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            PlannedPage page{pages[i], plan.Outputs().PathOf(i), std::nullopt, false};
            if (const auto first = plan.Outputs().FirstPageWith(page.output); first && *first != i) {
                page.collidesWith = pages[*first];
            }
            const std::optional<PathInfo> there = LookAt(page.output);
            page.outputIsSourceFile = listed.count(page.output) > 0 ||
                                      (there && there->kind == EntryKind::File && plan.IsFileOfTheSite(there->id));
            planned.pages.push_back(std::move(page));
        }
        if (choices.copyAssets) {
            planned.staticFiles =
                PlanStaticFiles(choices, plan, *disk, FilesReadByPages(settings, plan.SiteRoot(), cached, pages));
        }
    } catch (const WalkError& failure) {
        messages.ShowMessage(FolderUnreadableText(failure.Folder(), failure.what()), kTitleError, MessageIcon::Stop);
        planned.outcome = RunOutcome::Aborted;
        return planned;
    }
    planned.outcome = RunOutcome::Completed;
    return planned;
}

}  // namespace quernfold
