#include "engine/run/ConversionRun.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <unordered_set>
#include <utility>

#include "engine/site/CachedSiteFiles.h"
#include "engine/platform/AtomicFile.h"
#include "engine/platform/Disk.h"
#include "engine/output/EarlierOutputFiles.h"
#include "engine/text/Errors.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/report/LinkCheck.h"
#include "engine/page/LinkScanningOutput.h"
#include "engine/log/LogLines.h"
#include "engine/output/OutputMapping.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"
#include "engine/output/PageOutputs.h"
#include "engine/run/PageScheduler.h"
#include "engine/output/PathRules.h"
#include "engine/report/RunReport.h"
#include "engine/run/SettingsStore.h"
#include "engine/output/SideOutputs.h"
#include "engine/log/Sinks.h"
#include "engine/site/SourceWalker.h"
#include "engine/output/StaticFiles.h"
#include "engine/run/StopRequest.h"

namespace quernfold {

namespace {

constexpr std::uint64_t kOutputPageLimit = std::uint64_t{1} << 30;  // 1 GiB
constexpr std::string_view kSection = "sys";
// Pages converted ahead are held in memory: at most this many bytes of them, and each worker keeps at most
// four pages ahead of the one being published.
constexpr std::size_t kAheadBytes = std::size_t{8} << 20;
constexpr std::size_t kAheadPagesPerWorker = 4;
constexpr std::size_t kLargestPageAhead = std::size_t{1} << 20;

/** How the loop over the pages ended. */
enum class LoopEnd { AllPages, WarningLimit, StopRequested };

/** Swallows what the look-ahead over the pages would log or write. */
struct Discarding : LogSink, OutputSink {
    void ClearLog() override {}
    void AppendLog(std::string_view) override {}
    void Write(std::string_view) override {}
};

/**
 * The log lines of the page being converted, held until the page has its result: a page abandoned on a stop
 * request leaves only its two opening lines, whatever it had warned about, as a page converted ahead does.
 */
class HeldLog : public LogSink {
public:
    explicit HeldLog(LogSink& log) : m_log(log) {}
    void ClearLog() override { m_log.ClearLog(); }
    void AppendLog(std::string_view line) override { m_held.emplace_back(line); }
    void Release() {
        for (const std::string& line : m_held) m_log.AppendLog(line);
        m_held.clear();
    }
    void Drop() { m_held.clear(); }

private:
    LogSink& m_log;
    std::vector<std::string> m_held;
};

/** One conversion run over the collected pages. */
class Run {
public:
    Run(const ConversionChoices& choices, RunState& state, const RunSinks& sinks, SiteFiles* siteFiles)
        : m_state(state),
          m_sinks(sinks),
          m_outputType(TrimSpaces(choices.outputType)),
          m_disk(siteFiles ? nullptr : OpenSiteOnDisk(state.siteRoot)),
          m_files(siteFiles ? *siteFiles : *m_disk),
          m_earlierOutputs(m_files),
          m_cachedFiles(m_earlierOutputs),
          m_settings{choices.sourceType,
                     choices.outputType,
                     choices.codePage,
                     kNativeSeparator,
                     LineReader::kDefaultLineLimit,
                     &state.stopRequested},
          m_maxWarnings(choices.maxWarnings),
          m_jobs(choices.jobs == 0 ? DefaultWorkerCount() : choices.jobs),
          m_pageLog(sinks.log),
          m_expander(m_settings, state, m_cachedFiles, m_pageLog),
          m_diskOutput(sinks.output ? nullptr : OpenOutputTreeOnDisk(state.outputRoot)),
          m_output(sinks.output ? *sinks.output : *m_diskOutput) {
    }

    /** Lists the pages and, before any is converted, where each one's output goes. */
    void Collect() {
        CollectSourceFiles(m_files, m_state.siteRoot, m_state.srcExt, m_state.fileList, &m_pageIds);
        m_outputs.emplace(m_state.fileList, [this](const std::string& page) {
            return MapOutputPath(page, m_state.siteRoot, m_state.outputRoot, m_outputType).outputPath;
        });
        if (m_sinks.report) {
            m_links = std::make_unique<LinkCheck>(m_state.outputRoot, &*m_outputs,
                                                  [this](std::size_t page) { return CollectLinksAgain(page); });
        }
        // Only an output folder on disk can share files with the site.
        m_overlap = !m_sinks.output && OutputOverlapsSite(m_state.siteRoot, m_state.outputRoot, m_state.fileList);
        if (!m_overlap) return;
        for (std::size_t i = 0; i < m_outputs->Count(); ++i) {
            const auto existing = IdentityOf(m_outputs->PathOf(i));
            if (existing && !m_pageIds.count(*existing)) m_earlierOutputs.Add(*existing, m_state.fileList[i]);
        }
    }

    /** Why one of the side outputs must not be written; nullopt when none would replace a file of the run. */
    std::optional<std::string> CheckSideOutputs(const std::vector<std::string>& sideOutputs) {
        std::unordered_set<FileId, FileIdHash> includes;
        for (const std::string& target : sideOutputs) {
            if (includes.empty() && NeedsIncludes(target, m_state.siteRoot)) includes = LookAheadAtIncludes();
            const RunFilesBeforeStart files{*m_outputs, m_pageIds, includes};
            if (auto why = WhySideOutputIsTaken(target, files)) return why;
            if (const auto id = SideOutputId(target)) m_sideOutputIds.emplace_back(target, *id);
        }
        return std::nullopt;
    }

    /** The side outputs that turned out to be read as includes during the run. */
    std::vector<std::string> SideOutputsRead() const {
        std::vector<std::string> read;
        for (const auto& [target, id] : m_sideOutputIds) {
            if (m_expander.FilesRead().count(id) || m_filesReadAhead.count(id)) read.push_back(target);
        }
        return read;
    }

    /**
     * Converts the listed pages in order; attempted becomes the number of pages that got their result (a page
     * abandoned on a stop request is not among them).
     */
    LoopEnd ConvertAll(std::int64_t& attempted) {
        ProgressSink& progress = m_sinks.progress;
        progress.SetRange(0, m_state.fileCount + 1);
        progress.SetVisible(true);
        m_state.warningCount = 0;
        attempted = 0;
        const std::int64_t count = m_state.fileCount;
        std::unique_ptr<PageScheduler> ahead = StartWorkers();
        LoopEnd end = LoopEnd::AllPages;
        for (std::int64_t i = 1; i <= count; ++i) {
            if (m_state.stopRequested.load()) {
                end = LoopEnd::StopRequested;
                break;
            }
            const auto index = static_cast<std::size_t>(i - 1);
            const std::string& path = m_state.fileList[index];
            m_state.pageDepth = 0;
            m_sinks.log.AppendLog(PageBannerLine());
            m_sinks.log.AppendLog(PageStartLine(path));
            try {
                const OutputPathPlan plan = MapOutputPath(path, m_state.siteRoot, m_state.outputRoot, m_outputType);
                if (ahead) {
                    PreparedPage page = ahead->Take(index, m_state.stopRequested);
                    if (page.state == PreparedPage::State::Stopped) throw RunStopped();
                    ConvertFile(index, plan, page.state == PreparedPage::State::Ready ? &page : nullptr);
                } else {
                    ConvertFile(index, plan, nullptr);
                }
            } catch (const RunStopped&) {
                end = LoopEnd::StopRequested;
                break;
            }
            attempted = i;
            progress.SetValue(i);
            if (m_maxWarnings > 0 && m_state.warningCount >= m_maxWarnings) {
                end = LoopEnd::WarningLimit;
                break;
            }
        }
        ahead.reset();  // pages converted ahead of a stop are dropped here, unseen
        if (end == LoopEnd::StopRequested) m_sinks.log.AppendLog(RunStoppedLine());
        if (end == LoopEnd::WarningLimit) {
            m_sinks.messages.ShowMessage(TooManyWarningsText(), kTitleWarning, MessageIcon::Stop);
        }
        progress.SetVisible(false);
        return end;
    }

    /** Copies the static files when asked to, and writes the summary's line for them. */
    StaticFilesCounts CopyStaticFilesOfSite(const ConversionChoices& choices) {
        StaticFilesJob job{m_state.siteRoot,
                           m_state.outputRoot,
                           &m_files,
                           &m_output,
                           DefaultAssetRules(m_state.srcExt),
                           choices.codePage,
                           [this](const FileId& id) { return IsReadByRun(id); },
                           [this](const std::string& path) { return m_outputs && m_outputs->IsClaimed(path); },
                           [this] { return m_state.stopRequested.load(); }};
        if (!choices.assetTypes.empty()) {
            job.rules.types = choices.assetTypes;
            job.rules.rootRobots = false;
        }
        return CopyStaticFiles(job, m_sinks.log, m_sinks.report ? &m_sinks.report->assets : nullptr, m_links.get());
    }

    /** The references that lead nowhere, now that everything is in place. */
    std::vector<BrokenLink> BrokenLinks() { return m_links ? m_links->Finish() : std::vector<BrokenLink>(); }

private:
    bool IsReadByRun(const FileId& id) const {
        return m_pageIds.count(id) > 0 || m_expander.FilesRead().count(id) > 0 || m_filesReadAhead.count(id) > 0;
    }

    // Worker threads convert pages ahead, unless the run is to be one page after the other. A run whose output
    // may replace files of the site stays sequential: a page converted early must not read a file that an
    // earlier page replaces.
    std::unique_ptr<PageScheduler> StartWorkers() {
        // Workers read the disk each through their own view; a site handed in (in memory) is read by this thread.
        if (m_jobs <= 1 || m_state.fileCount <= 1 || m_overlap || !m_disk) return nullptr;
        const std::size_t window = kAheadPagesPerWorker * m_jobs;
        const std::size_t pageLimit = std::clamp(kAheadBytes / window, std::size_t{64} << 10, kLargestPageAhead);
        const std::size_t cacheShare = CachedSiteFiles::kDefaultCapacity / m_jobs;
        return std::make_unique<PageScheduler>(m_state.fileList, m_jobs, window, [&](const std::atomic<bool>& cancel) {
            ExpanderSettings settings = m_settings;
            settings.stopRequested = &cancel;
            return std::make_unique<PagePreparer>(settings, m_state, cacheShare, pageLimit, m_links != nullptr);
        });
    }

    // Publishes a page converted ahead: its bytes and its log lines in the order the expansion made them, its
    // warnings counted as they come. Returns the page's own failure, as the expansion would.
    std::optional<std::string> Replay(const PreparedPage& page, OutputSink& out) {
        for (const FileId& id : page.filesRead) m_filesReadAhead.insert(id);
        std::size_t written = 0;
        std::int64_t counted = 0;
        for (const PreparedPage::Line& line : page.lines) {
            out.Write(std::string_view(page.bytes).substr(written, line.outputOffset - written));
            written = line.outputOffset;
            for (; counted < line.warnings; ++counted) m_state.CountWarning();
            m_pageLog.AppendLog(line.text);
        }
        out.Write(std::string_view(page.bytes).substr(written));
        for (; counted < page.warnings; ++counted) m_state.CountWarning();
        return page.failure;
    }

    // Whether publishing at outputPath would replace a file this run reads (a page or an include). Only an
    // overlapping run can meet one there.
    bool WouldReplaceSource(const std::string& outputPath) const {
        const auto existing = IdentityOf(outputPath);
        return existing && (m_pageIds.count(*existing) > 0 || m_expander.FilesRead().count(*existing) > 0 ||
                            m_filesReadAhead.count(*existing) > 0);
    }

    // The references of a page as its conversion collected them, from an expansion into nothing (no log line, no
    // count and no stop: the run is over).
    std::vector<PageLink> CollectLinksAgain(std::size_t page) {
        RunState scratch;
        scratch.siteRoot = m_state.siteRoot;
        scratch.outputRoot = m_state.outputRoot;
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

    // Expands every page once into nothing, to learn every file the run will read before anything is written.
    std::unordered_set<FileId, FileIdHash> LookAheadAtIncludes() {
        RunState scratch;
        scratch.siteRoot = m_state.siteRoot;
        scratch.outputRoot = m_state.outputRoot;
        Discarding nowhere;
        PageExpander lookAhead(m_settings, scratch, m_cachedFiles, nowhere);
        for (const std::string& page : m_state.fileList) {
            try {
                lookAhead.ExpandSourcePage(page, nowhere);
            } catch (const RunStopped&) {
                throw;
            } catch (const std::exception&) {
                // The real run meets the same failure and reports it.
            }
        }
        return lookAhead.FilesRead();
    }

    // Converts one page: the prepared one when a worker converted it ahead, else by expanding it now. A stop
    // request abandons the page: no file, no temporary file and no folder of it stays, and RunStopped passes.
    void ConvertFile(std::size_t index, const OutputPathPlan& plan, const PreparedPage* prepared) {
        if (TrimSpaces(m_state.fileList[index]).empty()) return;
        const std::int64_t warningsBefore = m_state.warningCount;
        try {
            ConvertHeld(index, plan, prepared);
        } catch (const RunStopped&) {
            m_pageLog.Drop();
            m_state.warningCount = warningsBefore;
            throw;
        }
        m_pageLog.Release();
    }

    // ConvertFile with the page's lines going to m_pageLog.
    void ConvertHeld(std::size_t index, const OutputPathPlan& plan, const PreparedPage* prepared) {
        const std::string& path = m_state.fileList[index];
        const std::string& outputPath = plan.outputPath;
        std::unique_ptr<PageOutput> out;
        // A page that fails before it is expanded has no warnings of its own yet: the expander still holds the
        // previous page's.
        bool expanded = false;
        try {
            if (m_overlap && IdentityOf(outputPath) && IdentityOf(outputPath) == IdentityOf(path)) {
                throw FileError(OutputIsTheSourceReason());
            }
            // A page that fails still claims its output path, so a later page cannot take it over.
            if (!m_outputs->Claim(index, outputPath)) {
                throw FileError(OutputAlreadyWrittenReason(outputPath));
            }
            out = m_output.Create(plan, kOutputPageLimit);
            // With a report, the page's references are noted as it is written (a page converted ahead brings its own).
            std::optional<LinkScanningOutput> scanned;
            if (m_links && !prepared) scanned.emplace(*out);
            expanded = true;
            const std::optional<std::string> failure =
                prepared ? Replay(*prepared, *out)
                         : m_expander.ExpandSourcePage(path, scanned ? static_cast<OutputSink&>(*scanned) : *out);
            if (m_overlap && WouldReplaceSource(outputPath)) {
                throw FileError(OutputIsReadReason(outputPath));
            }
            if (failure) {
                // The page's own warning is already logged; the page is still a failure, never "converted", and
                // nothing of it is published.
                out->Discard();
                m_state.CountFailedPage(true);
                m_pageLog.AppendLog(PageFailedLine(path, *failure));
                Record(index, outputPath, failure, PageWarnings(prepared), nullptr);
                return;
            }
            out->Publish();
            // From now on an include that reaches this file reads its source page, as before the page was written.
            if (m_overlap) m_earlierOutputs.Add(out->Id(), path);
            m_pageLog.AppendLog(PageGeneratedLine(outputPath));
            Record(index, outputPath, std::nullopt, PageWarnings(prepared),
                   prepared ? &prepared->links : scanned ? &scanned->Links() : nullptr);
        } catch (const RunStopped&) {
            if (out) out->Discard();
            m_output.RemoveFoldersMadeForLastPage();
            throw;
        } catch (const std::exception& failure) {
            // Nothing half-written is published: a file that stood at the output path stays as it was.
            if (out) out->Discard();
            m_state.CountFailedPage(false);
            m_pageLog.AppendLog(PageFailedLine(path, failure.what()));
            Record(index, out ? outputPath : std::string(), std::string(failure.what()),
                   expanded ? PageWarnings(prepared) : std::vector<PathReason>(), nullptr, true);
        }
    }

    // The page's facts for the report, in the committer's order; links: the references of what was published.
    void Record(std::size_t index, const std::string& output, std::optional<std::string> failure,
                std::vector<PathReason> warnings, const std::vector<PageLink>* links, bool failureIsWarning = false) {
        if (!m_sinks.report) return;
        const std::string& source = m_state.fileList[index];
        PageRecord record{source, output, !failure, std::move(warnings), std::move(failure)};
        if (failureIsWarning) record.warnings.push_back({source, *record.failure});
        m_sinks.report->pages.push_back(std::move(record));
        if (links) m_links->AddPage(index, output, *links);
    }

    // The warnings of the page just expanded (or converted ahead), for the report.
    std::vector<PathReason> PageWarnings(const PreparedPage* prepared) const {
        if (!m_sinks.report) return {};
        return prepared ? prepared->pageWarnings : m_expander.PageWarnings();
    }

    RunState& m_state;
    const RunSinks& m_sinks;
    std::string m_outputType;
    std::unique_ptr<SiteFiles> m_disk;  // when the caller hands in no site
    SiteFiles& m_files;
    EarlierOutputFiles m_earlierOutputs;
    CachedSiteFiles m_cachedFiles;  // the site as this run sees it
    ExpanderSettings m_settings;
    std::int64_t m_maxWarnings;
    unsigned m_jobs;
    HeldLog m_pageLog;
    PageExpander m_expander;
    std::unique_ptr<OutputTree> m_diskOutput;  // when the caller hands in no output tree
    OutputTree& m_output;
    bool m_overlap = false;                  // the output folder shares folders with the site, by identity
    std::optional<PageOutputs> m_outputs;  // of every listed page, known before the first
    std::unordered_set<FileId, FileIdHash> m_pageIds;
    std::unordered_set<FileId, FileIdHash> m_filesReadAhead;  // read by pages the workers converted
    std::vector<std::pair<std::string, FileId>> m_sideOutputIds;
    std::unique_ptr<LinkCheck> m_links;  // with a report only
};

const char* EncodingName(CodePageChoice choice) {
    switch (choice) {
        case CodePageChoice::Gbk:
            return "gbk";
        case CodePageChoice::Gb18030:
            return "gb18030";
        case CodePageChoice::Big5:
            return "big5";
        case CodePageChoice::ShiftJis:
            return "shift_jis";
        case CodePageChoice::Utf8:
            return "utf-8";
        case CodePageChoice::Auto:
            break;
    }
    return "auto";
}

}  // namespace

RunResult StartConversion(const ConversionChoices& choices, RunState& state, const RunSinks& sinks,
                          SiteFiles* siteFiles) {
    RunResult result;
    if (sinks.settings) {
        sinks.settings->WriteIni(kSection, "workPath", choices.siteRoot);
        sinks.settings->WriteIni(kSection, "outputDir", choices.outputDir);
        sinks.settings->WriteIni(kSection, "srcType", choices.sourceType);
        sinks.settings->WriteIni(kSection, "outputType", choices.outputType);
    }
    if (TrimSpaces(choices.outputDir).empty()) {
        sinks.messages.ShowMessage(kNoOutputFolderText, kTitleReminder, MessageIcon::Stop);
        return result;
    }
    // Without this the walk would start at the file-system root.
    if (TrimSpaces(choices.siteRoot).empty()) {
        sinks.messages.ShowMessage(kNoSiteRootText, kTitleReminder, MessageIcon::Stop);
        return result;
    }
    // A type becomes part of every output name: a separator or a dot folder in it would put pages elsewhere.
    if (!IsUsableType(TrimSpaces(choices.sourceType)) || !IsUsableType(TrimSpaces(choices.outputType))) {
        sinks.messages.ShowMessage(kBadTypeText, kTitleReminder, MessageIcon::Stop);
        return result;
    }
    state.outputRoot = WithTrailingSeparator(TrimSpaces(choices.outputDir), kNativeSeparator);
    state.siteRoot = WithTrailingSeparator(choices.siteRoot, kNativeSeparator);
    sinks.log.ClearLog();
    state.srcExt = TrimSpaces(choices.sourceType);
    state.fileCount = 0;
    state.failCount = 0;
    state.warningCount = 0;
    state.fileList.clear();

    Run run(choices, state, sinks, siteFiles);
    bool stoppedEarly = false;
    try {
        run.Collect();
    } catch (const RunStopped&) {
        stoppedEarly = true;
    } catch (const WalkError& failure) {
        state.fileCount = static_cast<std::int64_t>(state.fileList.size());
        result.outcome = RunOutcome::Aborted;
        result.abortReason = FolderUnreadableText(failure.Folder(), failure.what());
        sinks.messages.ShowMessage(result.abortReason, kTitleError, MessageIcon::Stop);
        return result;
    }
    state.fileCount = static_cast<std::int64_t>(state.fileList.size());
    if (auto taken = run.CheckSideOutputs(choices.sideOutputs)) {
        result.sideOutputRefusal = std::move(*taken);
        return result;
    }

    std::int64_t attempted = 0;
    LoopEnd end = LoopEnd::StopRequested;
    if (stoppedEarly) {
        sinks.log.AppendLog(RunStoppedLine());
    } else {
        end = run.ConvertAll(attempted);
    }
    const std::int64_t succeeded = attempted - state.failCount;
    // A run stopped at the warning limit or on request publishes no static files.
    std::optional<StaticFilesCounts> staticFiles;
    if (choices.copyAssets && end == LoopEnd::AllPages) staticFiles = run.CopyStaticFilesOfSite(choices);
    sinks.log.AppendLog(SummaryBannerLine());
    sinks.log.AppendLog(SummaryTotalLine(attempted));
    sinks.log.AppendLog(SummarySuccessLine(succeeded));
    sinks.log.AppendLog(SummaryFailureLine(state.failCount));
    sinks.log.AppendLog(SummaryWarningLine(state.warningCount));
    if (staticFiles) {
        sinks.log.AppendLog(StaticFilesSummaryLine(staticFiles->Total(), staticFiles->unchanged, staticFiles->failed));
    }
    sinks.log.AppendLog(SummaryBannerLine());
    if (end != LoopEnd::StopRequested) {
        sinks.messages.ShowMessage(RunFinishedText(succeeded, state.failCount), kTitleNotice, MessageIcon::Information);
    }

    result.outcome = RunOutcome::Completed;
    result.attempted = attempted;
    result.failed = state.failCount;
    result.warnings = state.warningCount;
    const bool stoppedOnRequest = end == LoopEnd::StopRequested || (staticFiles && state.stopRequested.load());
    result.stoppedAtWarningLimit = end == LoopEnd::WarningLimit;
    result.stoppedOnRequest = stoppedOnRequest;
    result.sideOutputsRead = run.SideOutputsRead();
    result.staticFilesFailed = staticFiles ? staticFiles->failed : 0;
    if (RunReport* report = sinks.report) {
        report->siteRoot = state.siteRoot;
        report->sourceType = state.srcExt;
        report->outputType = TrimSpaces(choices.outputType);
        report->outputDir = state.outputRoot;
        report->encoding = EncodingName(choices.codePage);
        report->totalPages = attempted;
        report->converted = succeeded;
        report->failed = state.failCount;
        report->warnings = state.warningCount;
        report->stopped = stoppedOnRequest                   ? RunStop::User
                          : end == LoopEnd::WarningLimit ? RunStop::Limit
                                                         : RunStop::None;
        report->brokenLinks = run.BrokenLinks();
    }
    return result;
}

bool SaveConversionLog(const std::string& outputDirText, const std::string& logText, RunState& state,
                       MessageSink& messages) {
    if (TrimSpaces(outputDirText).empty()) {
        messages.ShowMessage(kNoOutputFolderText, kTitleReminder, MessageIcon::Stop);
        return false;
    }
    state.outputRoot = WithTrailingSeparator(TrimSpaces(outputDirText), kNativeSeparator);
    const std::string logPath = state.outputRoot + "log.txt";
    try {
        WriteFileAtomically(logPath, logText);
    } catch (const std::exception& failure) {
        messages.ShowMessage(LogSaveFailedText(failure.what()), kTitleError, MessageIcon::Stop);
        return false;
    }
    messages.ShowMessage(LogSavedText(logPath), kTitleNotice, MessageIcon::Information);
    return true;
}

}  // namespace quernfold
