#include "engine/ConversionRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_set>

#include "engine/CachedSiteFiles.h"
#include "engine/DiskSiteFiles.h"
#include "engine/Errors.h"
#include "engine/LogLines.h"
#include "engine/OutputFile.h"
#include "engine/OutputMapping.h"
#include "engine/OutputSink.h"
#include "engine/PageExpander.h"
#include "engine/PageScheduler.h"
#include "engine/PathRules.h"
#include "engine/SettingsStore.h"
#include "engine/Sinks.h"
#include "engine/SourceWalker.h"
#include "engine/StopRequest.h"

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

std::optional<FileId> IdOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino};
}

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

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string result(real);
    std::free(real);
    return result;
}

/** One conversion run over the collected pages. */
class Run {
public:
    Run(const ConversionChoices& choices, RunState& state, const RunSinks& sinks, SiteFiles* siteFiles)
        : m_state(state),
          m_sinks(sinks),
          m_outputType(TrimSpaces(choices.outputType)),
          m_disk(siteFiles ? nullptr : std::make_unique<DiskSiteFiles>(state.siteRoot)),
          m_files(siteFiles ? *siteFiles : *m_disk),
          m_cachedFiles(m_files),
          m_settings{choices.sourceType,     choices.outputType,           choices.codePage,
                     kNativeSeparator,       LineReader::kDefaultLineLimit, &state.stopRequested},
          m_maxWarnings(choices.maxWarnings),
          m_jobs(choices.jobs == 0 ? DefaultWorkerCount() : choices.jobs),
          m_pageLog(sinks.log),
          m_expander(m_settings, state, m_cachedFiles, m_pageLog) {}

    void Collect() {
        CollectSourceFiles(m_files, m_state.siteRoot, m_state.srcExt, m_state.fileList, &m_pageIds);
        if (MayReplaceFilesOfTheSite()) LookAheadAtIncludes();
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
            const std::string& path = m_state.fileList[static_cast<std::size_t>(i - 1)];
            m_state.pageDepth = 0;
            m_sinks.log.AppendLog(PageBannerLine());
            m_sinks.log.AppendLog(PageStartLine(path));
            try {
                if (ahead) {
                    PreparedPage page = ahead->Take(static_cast<std::size_t>(i - 1), m_state.stopRequested);
                    if (page.state == PreparedPage::State::Stopped) throw RunStopped();
                    ConvertFile(path, page.state == PreparedPage::State::Ready ? &page : nullptr);
                } else {
                    ConvertFile(path, nullptr);
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

private:
    // Worker threads convert pages ahead, unless the run is to be one page after the other. A run whose output
    // may replace files of the site stays sequential: a page converted early must not read a file that an
    // earlier page replaces.
    std::unique_ptr<PageScheduler> StartWorkers() {
        // Workers read the disk each through their own view; a site handed in (in memory) is read by this thread.
        if (m_jobs <= 1 || m_state.fileCount <= 1 || m_overlapping || !m_disk) return nullptr;
        const std::size_t window = kAheadPagesPerWorker * m_jobs;
        const std::size_t pageLimit = std::clamp(kAheadBytes / window, std::size_t{64} << 10, kLargestPageAhead);
        const std::size_t cacheShare = CachedSiteFiles::kDefaultCapacity / m_jobs;
        return std::make_unique<PageScheduler>(
            m_state.fileList, m_jobs, window, [&](const std::atomic<bool>& cancel) {
                ExpanderSettings settings = m_settings;
                settings.stopRequested = &cancel;
                return std::make_unique<PagePreparer>(settings, m_state, cacheShare, pageLimit);
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

    // Whether publishing at outputPath would replace a file this run reads (a page or an include).
    bool WouldReplaceSource(const std::string& outputPath) const {
        const auto existing = IdOf(outputPath);
        if (!existing) return false;
        return m_pageIds.count(*existing) > 0 || m_expander.FilesRead().count(*existing) > 0 ||
               m_filesReadAhead.count(*existing) > 0 || m_includedLater.count(*existing) > 0;
    }

    // Whether some page's output would replace a file that lies in the site (the output folder is the site root,
    // or inside it, or above it). Only then can a page converted early replace a file that a later page includes.
    bool MayReplaceFilesOfTheSite() const {
        const std::string realRoot = RealPath(m_state.siteRoot);
        if (realRoot.empty()) return false;
        for (const std::string& page : m_state.fileList) {
            const std::string outputPath =
                PlanOutputPath(page, m_state.siteRoot, m_state.outputRoot, m_outputType, kNativeSeparator).outputPath;
            struct stat info {};
            if (::lstat(outputPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            const std::string folder = RealPath(ParentDir(outputPath, kNativeSeparator) + kNativeSeparator);
            if (folder == realRoot || folder.starts_with(realRoot == "/" ? realRoot : realRoot + kNativeSeparator)) {
                return true;
            }
        }
        return false;
    }

    // Expands every page once into nothing, to learn every file the run will read before anything is written.
    void LookAheadAtIncludes() {
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
        m_includedLater = lookAhead.FilesRead();
        m_overlapping = true;
    }

    // Converts one page: the prepared one when a worker converted it ahead, else by expanding it now. A stop
    // request abandons the page: no file, no temporary file and no folder of it stays, and RunStopped passes.
    void ConvertFile(const std::string& path, const PreparedPage* prepared) {
        if (TrimSpaces(path).empty()) return;
        const std::int64_t warningsBefore = m_state.warningCount;
        try {
            ConvertHeld(path, prepared);
        } catch (const RunStopped&) {
            m_pageLog.Drop();
            m_state.warningCount = warningsBefore;
            throw;
        }
        m_pageLog.Release();
    }

    // ConvertFile with the page's lines going to m_pageLog.
    void ConvertHeld(const std::string& path, const PreparedPage* prepared) {
        std::unique_ptr<OutputFile> out;
        std::string outputPath;
        std::vector<std::string> createdFolders;
        try {
            outputPath = MapOutputPath(path, m_state.siteRoot, m_state.outputRoot, m_outputType, &createdFolders);
            if (IdOf(outputPath) && IdOf(outputPath) == IdOf(path)) {
                throw FileError(OutputIsTheSourceReason());
            }
            if (!m_outputsWritten.insert(outputPath).second) {
                throw FileError(OutputAlreadyWrittenReason(outputPath));
            }
            out = std::make_unique<OutputFile>(outputPath, OutputFile::Target::ReplaceAtomically, kOutputPageLimit);
            const std::optional<std::string> failure =
                prepared ? Replay(*prepared, *out) : m_expander.ExpandSourcePage(path, *out);
            if (WouldReplaceSource(outputPath)) {
                throw FileError(OutputIsReadReason(outputPath));
            }
            if (failure) {
                // The page's own warning is already logged; the page is still a failure, never "converted".
                out->PublishPartial();
                m_state.CountFailedPage(true);
                m_pageLog.AppendLog(PageFailedLine(path, *failure));
                return;
            }
            out->Publish();
            m_pageLog.AppendLog(PageGeneratedLine(outputPath));
        } catch (const RunStopped&) {
            if (out) out->Discard();
            RemoveCreatedFolders(createdFolders);
            throw;
        } catch (const std::exception& failure) {
            if (out) {
                // What was written before the failure stays, as with any failed page, unless it would land on a
                // file the run reads.
                if (WouldReplaceSource(outputPath)) {
                    out->Discard();
                } else {
                    out->PublishPartial();
                }
            }
            m_state.CountFailedPage(false);
            m_pageLog.AppendLog(PageFailedLine(path, failure.what()));
        }
    }

    RunState& m_state;
    const RunSinks& m_sinks;
    std::string m_outputType;
    std::unique_ptr<DiskSiteFiles> m_disk;  // when the caller hands in no site
    SiteFiles& m_files;
    CachedSiteFiles m_cachedFiles;  // the site as this run sees it
    ExpanderSettings m_settings;
    std::int64_t m_maxWarnings;
    unsigned m_jobs;
    HeldLog m_pageLog;
    PageExpander m_expander;
    std::unordered_set<FileId, FileIdHash> m_pageIds;
    std::unordered_set<FileId, FileIdHash> m_includedLater;  // from the look-ahead, when it was needed
    bool m_overlapping = false;                               // the look-ahead was needed
    std::unordered_set<FileId, FileIdHash> m_filesReadAhead;  // read by pages the workers converted
    std::unordered_set<std::string> m_outputsWritten;
};

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

    std::int64_t attempted = 0;
    LoopEnd end = LoopEnd::StopRequested;
    if (stoppedEarly) {
        sinks.log.AppendLog(RunStoppedLine());
    } else {
        end = run.ConvertAll(attempted);
    }
    const std::int64_t succeeded = attempted - state.failCount;
    sinks.log.AppendLog(SummaryBannerLine());
    sinks.log.AppendLog(SummaryTotalLine(attempted));
    sinks.log.AppendLog(SummarySuccessLine(succeeded));
    sinks.log.AppendLog(SummaryFailureLine(state.failCount));
    sinks.log.AppendLog(SummaryWarningLine(state.warningCount));
    sinks.log.AppendLog(SummaryBannerLine());
    if (end != LoopEnd::StopRequested) {
        sinks.messages.ShowMessage(RunFinishedText(succeeded, state.failCount), kTitleNotice,
                                   MessageIcon::Information);
    }

    result.outcome = RunOutcome::Completed;
    result.attempted = attempted;
    result.failed = state.failCount;
    result.warnings = state.warningCount;
    result.stoppedAtWarningLimit = end == LoopEnd::WarningLimit;
    result.stoppedOnRequest = end == LoopEnd::StopRequested;
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
