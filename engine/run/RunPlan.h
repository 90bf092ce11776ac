#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/output/PageOutputs.h"
#include "engine/output/PathRules.h"
#include "engine/run/ConversionRun.h"
#include "engine/site/SiteFiles.h"

#include "engine/run/StaticFilesPlan.h"

namespace quernfold {

class MessageSink;

/** Why a run may not start: the text and title of the message box that says so. */
struct Refusal {
    std::string_view text;
    std::string_view title;
};

/**
 * The refusals that come from the choices alone, before anything is read: no output folder, no site root, a type
 * that would put pages elsewhere. The run and the dry run both ask here, so they refuse the same choices.
 */
std::optional<Refusal> RefusalOf(const ConversionChoices& choices);

/** The site root as the run reads it: exactly as given (never trimmed), ending in the separator. */
std::string PlannedSiteRoot(const ConversionChoices& choices);

/**
 * A run's first phase: each choice worked out once in the form its uses need, the pages the walk lists, where
 * each page's output goes and which pages share one, and whether the output folder shares folders with the site.
 * The run carries it out; the dry run prints it. Nothing is written or created.
 */
class RunPlan {
public:
    struct Options {
        bool outputOnDisk = true;     // only an output folder on disk can share folders with the site
        bool keepSiteFileIds = false;  // remember every file the walk meets, for IsFileOfTheSite
    };

    /**
     * choices must have passed RefusalOf; files is the site, its paths beginning with PlannedSiteRoot. The listed
     * pages go to pages (the run state's list), which must outlive the plan. Throws WalkError when a folder cannot
     * be listed, RunStopped on a stop request.
     */
    RunPlan(const ConversionChoices& choices, SiteFiles& files, std::vector<std::string>& pages, Options options);

    const std::string& SiteRoot() const { return m_siteRoot; }
    const std::string& OutputRoot() const { return m_outputRoot; }  // trimmed, ending in the separator
    const std::string& SourceType() const { return m_sourceType; }  // trimmed: discovery and the output names
    const std::string& OutputType() const { return m_outputType; }  // trimmed: the output names
    const std::vector<std::string>& Pages() const { return m_pages; }
    const std::unordered_set<FileId, FileIdHash>& PageIds() const { return m_pageIds; }

    /** Where page number index goes: the folders to make and the output file's path. */
    OutputPathPlan OutputOf(std::size_t index) const;
    /** The pages' output paths, claimed one by one as the run publishes. */
    PageOutputs& Outputs() { return *m_outputs; }
    const PageOutputs& Outputs() const { return *m_outputs; }
    bool Overlaps() const { return m_overlap; }
    /** Whether id is a file the walk met (with keepSiteFileIds; pages only otherwise). */
    bool IsFileOfTheSite(const FileId& id) const;

private:
    std::string m_siteRoot;
    std::string m_outputRoot;
    std::string m_sourceType;
    std::string m_outputType;
    const std::vector<std::string>& m_pages;
    std::unordered_set<FileId, FileIdHash> m_pageIds;
    std::unordered_set<FileId, FileIdHash> m_siteFileIds;
    std::optional<PageOutputs> m_outputs;  // made once the pages are listed
    bool m_overlap = false;
};

/** Where one source page would go, and what stands in its way. */
struct PlannedPage {
    std::string source;
    std::string output;
    std::optional<std::string> collidesWith;  // an earlier page of the run with the same output path
    bool outputIsSourceFile = false;          // the output path is a listed page or a file of the site
};

/** What the dry run shows: the plan page by page, or why the run would not start. */
struct PlannedRun {
    RunOutcome outcome = RunOutcome::Refused;  // Completed: pages holds the plan
    std::vector<PlannedPage> pages;
    std::string sideOutputRefusal;  // as the run would refuse it
    std::vector<PlannedStaticFile> staticFiles;  // with copyAssets: what the copy would do with each
};

/**
 * The run's first phase alone, on disk: what a run with these choices would write, page by page in the run's
 * order, refused exactly as the run refuses (refusals and a folder that cannot be listed are shown through
 * messages with the run's own texts). Nothing is written and no folder is created.
 */
PlannedRun PlanConversion(const ConversionChoices& choices, MessageSink& messages);

}  // namespace quernfold
