#include "engine/run/ConversionRun.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "engine/log/LogLines.h"
#include "engine/log/Sinks.h"
#include "engine/output/EarlierOutputFiles.h"
#include "engine/output/PathRules.h"
#include "engine/output/StaticFiles.h"
#include "engine/page/LinkScanningOutput.h"
#include "engine/page/PageExpander.h"
#include "engine/platform/Disk.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/report/LinkCauses.h"
#include "engine/report/LinkCheck.h"
#include "engine/report/RunReport.h"
#include "engine/run/HeldLog.h"
#include "engine/run/OverlapGuard.h"
#include "engine/run/PagePublisher.h"
#include "engine/run/PageScheduler.h"
#include "engine/run/RunPlan.h"
#include "engine/run/RunStart.h"
#include "engine/run/RunSummary.h"
#include "engine/run/SettingsStore.h"
#include "engine/run/SideOutputGuard.h"
#include "engine/run/UnchangedPages.h"
#include "engine/platform/RunRecords.h"
#include "engine/site/IncludeLookup.h"
#include "engine/run/StopRequest.h"
#include "engine/site/CachedSiteFiles.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

// Pages converted ahead are held in memory: at most this many bytes of them, and each worker keeps at most
// four pages ahead of the one being published.
constexpr std::size_t kAheadBytes = std::size_t{8} << 20;
constexpr std::size_t kAheadPagesPerWorker = 4;
constexpr std::size_t kLargestPageAhead = std::size_t{1} << 20;
#ifndef QUERNFOLD_VERSION
#define QUERNFOLD_VERSION "unknown"
#endif

// The program's version and every choice that shapes a page's bytes or its output path: a record of an earlier
// run made with any other is not used.
std::string RecordedChoices(const ConversionChoices& choices, const RunState& state, const ExpanderSettings& settings) {
    std::string text = QUERNFOLD_VERSION;
    for (const std::string& part : {state.siteRoot, state.outputRoot, choices.sourceType, choices.outputType}) {
        text.append(1, '\0').append(part);
    }
    text.append(1, '\0').append(std::to_string(static_cast<int>(choices.codePage)));
    text.append(1, '\0').append(1, settings.separator);
    text.append(1, '\0').append(std::to_string(settings.lineLimit));
    return text;
}

/** How the loop over the pages ended. */
enum class LoopEnd { AllPages, WarningLimit, StopRequested };

/** One conversion run: its plan, carried out page by page, then the static files. */
class Run {
public:
    Run(const ConversionChoices& choices, RunState& state, const RunSinks& sinks, SiteFiles* siteFiles)
        : m_choices(choices),
          m_state(state),
          m_sinks(sinks),
          m_disk(siteFiles ? nullptr : OpenSiteOnDisk(state.siteRoot)),
          m_files(siteFiles ? *siteFiles : *m_disk),
          m_earlierOutputs(m_files),
          m_cachedFiles(m_earlierOutputs),
          m_settings{choices.sourceType,
                     choices.outputType,
                     choices.codePage,
                     kNativeSeparator,
                     LineReader::kDefaultLineLimit,
                     &state.stopRequested,
                     choices.copyAssets,
                     choices.dropServerCode,
                     choices.anyCaseLinks},
          m_jobs(choices.jobs == 0 ? DefaultWorkerCount() : choices.jobs),
          m_pageLog(sinks.log),
          m_expander(m_settings, state, m_cachedFiles, m_pageLog),
          m_diskOutput(sinks.output ? nullptr : OpenOutputTreeOnDisk(state.outputRoot)),
          m_output(sinks.output ? *sinks.output : *m_diskOutput) {}

    /** The run's first phase: the pages and, before any is converted, where each one's output goes. */
    void Plan() {
        // Static files and side outputs never replace a file of the site: every file the walk meets is kept.
        const bool keepSiteFileIds = m_choices.copyAssets || !m_choices.sideOutputs.empty();
        m_plan.emplace(m_choices, m_files, m_state.fileList,
                       RunPlan::Options{.outputOnDisk = !m_sinks.output, .keepSiteFileIds = keepSiteFileIds});
        if (m_sinks.report) {
            m_links = std::make_unique<LinkCheck>(
                m_state.outputRoot, &m_plan->Outputs(), [this](std::size_t page) { return CollectLinksAgain(page); },
                LinkCheck::kMostListed, m_choices.localHosts);
        }
        m_overlap.emplace(*m_plan, m_earlierOutputs);
        FindUnchangedPages();
        m_publisher.emplace(PagePublisher::Parts{m_state, *m_plan, m_output, m_expander, m_pageLog, *m_overlap,
                                                 m_sinks.report, m_links.get(),
                                                 m_unchanged ? &*m_unchanged : nullptr,
                                                 [this](std::size_t page) { return CollectLinksAgain(page); }});
    }

    /** Leaves the record of what this run published for the next run into the same output folder. */
    void SaveRecord() {
        if (m_unchanged) m_unchanged->Save(m_state.outputRoot);
    }

    const RunPlan& ThePlan() const { return *m_plan; }

    /** Why one of the side outputs must not be written; nullopt when none would replace a file of the run. */
    std::optional<std::string> CheckSideOutputs() {
        std::function<bool(const std::string&)> isStaticOutput;
        if (m_choices.copyAssets) {
            isStaticOutput = [this](const std::string& relative) {
                return DecideAsset(relative, StaticFileRules()).kind == AssetDecision::Kind::Copy &&
                       m_files.Kind(m_state.siteRoot + relative) == EntryKind::File;
            };
        }
        return m_sideOutputs.Check(
            m_choices.sideOutputs, *m_plan,
            [this] { return FilesReadByPages(m_settings, m_state.siteRoot, m_cachedFiles, m_state.fileList); },
            isStaticOutput);
    }

    /** The side outputs that turned out to be read as includes during the run. */
    std::vector<std::string> SideOutputsRead() const {
        return m_sideOutputs.ReadByRun([this](const FileId& id) { return m_publisher->IsReadByRun(id); });
    }

    /**
     * Converts the listed pages in order; pages becomes the number of pages that got their result (a page
     * abandoned on a stop request is not among them).
     */
    LoopEnd ConvertAll(std::int64_t& pages) {
        ProgressSink& progress = m_sinks.progress;
        progress.SetRange(0, m_state.fileCount + 1);
        progress.SetVisible(true);
        m_state.warningCount = 0;
        pages = 0;
        std::unique_ptr<PageScheduler> ahead = StartWorkers();
        const LoopEnd end = ConvertEach(ahead.get(), pages);
        ahead.reset();  // pages converted ahead of a stop are dropped here, unseen
        if (end == LoopEnd::StopRequested) m_sinks.log.AppendLog(RunStoppedLine());
        if (end == LoopEnd::WarningLimit) {
            m_sinks.messages.ShowMessage(TooManyWarningsText(), kTitleWarning, MessageIcon::Stop);
        }
        // The bar stays up when the static files follow: they are counted on it next.
        return end;
    }

    /** Copies the static files of the site after the pages. */
    StaticFilesCounts CopyStaticFilesOfSite() {
        StaticFilesJob job{m_state.siteRoot,
                           m_state.outputRoot,
                           &m_files,
                           &m_output,
                           StaticFileRules(),
                           m_choices.codePage,
                           [this](const FileId& id) { return m_publisher->IsReadByRun(id); },
                           [this](const FileId& id) { return m_plan->IsFileOfTheSite(id); },
                           m_publisher->NamedTargets(),
                           [this](const std::string& path) { return m_publisher->PageWithOutput(path); },
                           &m_state.stopRequested,
                           &m_sinks.progress, 1, {}};
        // As many copying threads as page workers, each with its own site and output view (one where they overlap).
        if (m_disk && !m_sinks.output && !m_overlap->Active()) {
            job.threads = m_jobs;
            job.openPlace = [this] {
                return StaticFilesPlace{OpenSiteOnDisk(m_state.siteRoot), OpenOutputTreeOnDisk(m_state.outputRoot)};
            };
        }
        return CopyStaticFiles(job, m_sinks.log, m_sinks.report ? &m_sinks.report->assets : nullptr, m_links.get());
    }

    /** The references that lead nowhere, now that everything is in place, into the report. */
    void FinishBrokenLinks(RunReport& report) {
        if (!m_links) return;
        report.brokenLinks = m_links->Finish();
        report.brokenLinksTotal = m_links->TotalFound();
        report.brokenLinksTruncated = m_links->Truncated();
        report.dynamicLinks = m_links->TakeDynamicLinks();
        report.absoluteLocal = m_links->TakeAbsoluteLocal();
        m_links->Leftovers().MoveInto(report);
    }

    /** What the save-log button must not replace with "log.txt" after this run. */
    std::shared_ptr<const RunState::LastRun> Owned() const {
        auto owned = std::make_shared<RunState::LastRun>();
        owned->filesRead = m_plan->PageIds();
        owned->filesRead.insert(m_expander.FilesRead().begin(), m_expander.FilesRead().end());
        owned->filesRead.insert(m_publisher->FilesReadAhead().begin(), m_publisher->FilesReadAhead().end());
        owned->outputRoot = IdentityOf(m_state.outputRoot);
        const std::string relative = "log.txt";
        owned->logTxtIsOutputPath =
            m_publisher->PageWithOutput(m_state.outputRoot + relative).has_value() ||
            (m_choices.copyAssets && DecideAsset(relative, StaticFileRules()).kind == AssetDecision::Kind::Copy &&
             m_files.Kind(m_state.siteRoot + relative) == EntryKind::File);
        return owned;
    }

    /** Why each broken link leads nowhere, from the site and the output tree as the run leaves them. */
    void ExplainBrokenLinks(RunReport& report) {
        const std::unique_ptr<SiteFiles> output = OpenSiteOnDisk(m_state.outputRoot);
        LinkCauses causes({m_state.siteRoot, m_state.outputRoot, m_state.srcExt, std::string(TrimSpaces(m_choices.outputType)),
                           report.counts.staticFiles.has_value(), StaticFileRules(), &m_plan->Outputs(),
                           &report.assets.skipped},
                          m_files, *output);
        for (BrokenLink& link : report.brokenLinks) causes.Explain(link);
    }

private:
    AssetRules StaticFileRules() const { return ChosenAssetRules(m_state.srcExt, m_choices.assetTypes); }

    // A site and output folder on disk are compared with the record of the last run into that folder; pages
    // that nothing changed for keep their output. With the output sharing folders with the site nothing is kept:
    // a page's output may be another's include.
    void FindUnchangedPages() {
        if (!m_disk || m_sinks.output) return;
        m_unchanged.emplace(*m_plan, RunRecordPath(m_state.outputRoot),
                            RecordedChoices(m_choices, m_state, m_settings), m_choices.ignoreEarlierRun);
        if (m_overlap->Active()) return;
        const IncludeLookup lookup{m_cachedFiles, m_settings.separator, m_plan->SourceType(), m_plan->OutputType(),
                                   m_state.siteRoot};
        try {
            m_kept = m_unchanged->Find(lookup);
        } catch (const std::exception&) {
            m_kept.clear();  // in doubt, every page is converted
        }
    }

    bool IsKept(std::size_t index) const { return index < m_kept.size() && m_kept[index]; }

    // Publishes page index: kept from the last run, converted ahead by a worker, or converted now.
    void PublishPage(PageScheduler* ahead, std::size_t index) {
        const bool kept = IsKept(index);
        if (kept && m_publisher->PublishKept(index)) {
            if (ahead) ahead->Passed(index);
        } else if (ahead && !kept) {
            PreparedPage page = ahead->Take(index, m_state.stopRequested);
            if (page.state == PreparedPage::State::Stopped) throw RunStopped();
            m_publisher->Publish(index, page.state == PreparedPage::State::Ready ? &page : nullptr);
        } else {
            m_publisher->Publish(index, nullptr);
            if (ahead) ahead->Passed(index);
        }
    }

    LoopEnd ConvertEach(PageScheduler* ahead, std::int64_t& pages) {
        const std::int64_t count = m_state.fileCount;
        for (std::int64_t i = 1; i <= count; ++i) {
            if (m_state.stopRequested.load()) return LoopEnd::StopRequested;
            const auto index = static_cast<std::size_t>(i - 1);
            m_state.pageDepth = 0;
            m_sinks.log.AppendLog(PageBannerLine());
            m_sinks.log.AppendLog(PageStartLine(m_state.fileList[index]));
            try {
                PublishPage(ahead, index);
            } catch (const RunStopped&) {
                return LoopEnd::StopRequested;
            }
            pages = i;
            m_sinks.progress.SetValue(i);
            if (m_choices.maxWarnings > 0 && m_state.warningCount >= m_choices.maxWarnings) {
                return LoopEnd::WarningLimit;
            }
        }
        return LoopEnd::AllPages;
    }

    // Worker threads convert pages ahead, unless the run is to be one page after the other. A run whose output
    // may replace files of the site stays sequential: a page converted early must not read a file that an
    // earlier page replaces.
    std::unique_ptr<PageScheduler> StartWorkers() {
        // Workers read the disk each through their own view; a site handed in (in memory) is read by this thread.
        if (m_jobs <= 1 || m_state.fileCount <= 1 || m_overlap->Active() || !m_disk) return nullptr;
        const auto toConvert = std::count(m_kept.begin(), m_kept.end(), false) + m_state.fileCount -
                               static_cast<std::int64_t>(m_kept.size());
        if (toConvert <= 1) return nullptr;
        const std::size_t window = kAheadPagesPerWorker * m_jobs;
        const std::size_t pageLimit = std::clamp(kAheadBytes / window, std::size_t{64} << 10, kLargestPageAhead);
        const std::size_t cacheShare = CachedSiteFiles::kDefaultCapacity / m_jobs;
        return std::make_unique<PageScheduler>(m_state.fileList, m_jobs, window, [&](const std::atomic<bool>& cancel) {
            ExpanderSettings settings = m_settings;
            settings.stopRequested = &cancel;
            return std::make_unique<PagePreparer>(settings, OpenSiteOnDisk(m_state.siteRoot), m_state.siteRoot,
                                                  cacheShare, pageLimit, m_links != nullptr, &m_output);
        }, m_kept);
    }

    // The references of a page as its conversion collected them, from an expansion into nothing (no log line, no
    // count and no stop: the run is over).
    std::vector<PageLink> CollectLinksAgain(std::size_t page) {
        ExpansionContext scratch;
        scratch.siteRoot = m_state.siteRoot;
        ExpanderSettings settings = m_settings;
        settings.stopRequested = nullptr;
        Discarding nowhere;
        PageExpander again(settings, scratch, m_cachedFiles, nowhere);
        LinkScanningOutput scanned(nowhere);
        try {
            again.ExpandSourcePage(m_state.fileList[page], scanned);
        } catch (const std::exception&) {
            // Only a page that was published is asked for, and it expanded then.
        }
        return scanned.Links();
    }

    const ConversionChoices& m_choices;
    RunState& m_state;
    const RunSinks& m_sinks;
    std::unique_ptr<SiteFiles> m_disk;  // when the caller hands in no site
    SiteFiles& m_files;
    EarlierOutputFiles m_earlierOutputs;
    CachedSiteFiles m_cachedFiles;  // the site as this run sees it
    ExpanderSettings m_settings;    // the types as typed: the rewrite and the ASP test take them untrimmed
    unsigned m_jobs;
    HeldLog m_pageLog;
    PageExpander m_expander;
    std::unique_ptr<OutputTree> m_diskOutput;  // when the caller hands in no output tree
    OutputTree& m_output;
    std::optional<RunPlan> m_plan;
    std::unique_ptr<LinkCheck> m_links;  // with a report only
    std::optional<OverlapGuard> m_overlap;
    std::optional<UnchangedPages> m_unchanged;  // a run on disk: the last run's record and this one's
    std::vector<bool> m_kept;                    // by page: its output is kept from the last run
    std::optional<PagePublisher> m_publisher;
    SideOutputGuard m_sideOutputs;
};

}  // namespace

RunResult StartConversion(const ConversionChoices& choices, RunState& state, const RunSinks& sinks,
                          SiteFiles* siteFiles) {
    RunResult result;
    if (sinks.settings) SaveChoices(choices, *sinks.settings);
    if (const std::optional<Refusal> refusal = RefusalOf(choices)) {
        sinks.messages.ShowMessage(refusal->text, refusal->title, MessageIcon::Stop);
        return result;
    }
    ResetState(choices, state, sinks.log);

    Run run(choices, state, sinks, siteFiles);
    try {
        run.Plan();
    } catch (const WalkError& failure) {
        state.fileCount = static_cast<std::int64_t>(state.fileList.size());
        result.outcome = RunOutcome::Aborted;
        result.abortReason = FolderUnreadableText(failure.Folder(), failure.what());
        sinks.messages.ShowMessage(result.abortReason, kTitleError, MessageIcon::Stop);
        return result;
    }
    state.fileCount = static_cast<std::int64_t>(state.fileList.size());
    RunCounts counts;
    LoopEnd end = LoopEnd::StopRequested;
    bool barShown = false;
    try {
        if (auto taken = run.CheckSideOutputs()) {
            result.sideOutputRefusal = std::move(*taken);
            return result;
        }
        barShown = true;
        end = run.ConvertAll(counts.pages);
        run.SaveRecord();
    } catch (const RunStopped&) {
        // Stopped while the side outputs were checked against what the pages include: nothing was converted.
        sinks.log.AppendLog(RunStoppedLine());
    }
    // A run stopped at the warning limit or on request publishes no static files.
    if (choices.copyAssets && end == LoopEnd::AllPages) counts.staticFiles = run.CopyStaticFilesOfSite();
    if (barShown) sinks.progress.SetVisible(false);
    // A stop during the copy ends the run as a stop during the pages does: a line, the summary, no final box.
    if (counts.staticFiles && counts.staticFiles->stopped) {
        end = LoopEnd::StopRequested;
        sinks.log.AppendLog(RunStoppedLine());
    }
    counts.failed = state.failCount;
    counts.warnings = state.warningCount;
    counts.stopped = end == LoopEnd::StopRequested  ? RunStop::User
                     : end == LoopEnd::WarningLimit ? RunStop::Limit
                                                    : RunStop::None;
    FinishRun(counts, choices, run.ThePlan(), sinks, result);
    result.sideOutputsRead = run.SideOutputsRead();
    if (sinks.report) {
        run.FinishBrokenLinks(*sinks.report);
        run.ExplainBrokenLinks(*sinks.report);
    }
    state.lastRun = run.Owned();
    return result;
}

}  // namespace quernfold
