#include "engine/ConversionRun.h"

#include <optional>
#include <unordered_set>
#include <utility>

#include "engine/CachedSiteFiles.h"
#include "engine/DiskOutputTree.h"
#include "engine/DiskSiteFiles.h"
#include "engine/EarlierOutputFiles.h"
#include "engine/Errors.h"
#include "engine/FolderIdentity.h"
#include "engine/LogLines.h"
#include "engine/OutputFile.h"
#include "engine/OutputMapping.h"
#include "engine/OutputSink.h"
#include "engine/PageExpander.h"
#include "engine/PathRules.h"
#include "engine/SettingsStore.h"
#include "engine/SideOutputs.h"
#include "engine/Sinks.h"
#include "engine/SourceWalker.h"

namespace quernfold {

namespace {

constexpr std::int64_t kWarningLimit = 10;
constexpr std::uint64_t kOutputPageLimit = std::uint64_t{1} << 30;  // 1 GiB
constexpr std::string_view kSection = "sys";

/** Swallows what the look-ahead over the pages would log or write. */
struct Discarding : LogSink, OutputSink {
    void ClearLog() override {}
    void AppendLog(std::string_view) override {}
    void Write(std::string_view) override {}
};

/** One conversion run over the collected pages. */
class Run {
public:
    Run(const ConversionChoices& choices, RunState& state, const RunSinks& sinks, SiteFiles* siteFiles)
        : m_state(state),
          m_sinks(sinks),
          m_outputType(TrimSpaces(choices.outputType)),
          m_disk(siteFiles ? nullptr : std::make_unique<DiskSiteFiles>(state.siteRoot)),
          m_files(siteFiles ? *siteFiles : *m_disk),
          m_earlierOutputs(m_files),
          m_cachedFiles(m_earlierOutputs),
          m_settings{choices.sourceType, choices.outputType, choices.codePage, kNativeSeparator},
          m_expander(m_settings, state, m_cachedFiles, sinks.log),
          m_diskOutput(state.outputRoot),
          m_output(sinks.output ? *sinks.output : m_diskOutput) {}

    /** Lists the pages and, before any is converted, where each one's output goes. */
    void Collect() {
        CollectSourceFiles(m_files, m_state.siteRoot, m_state.srcExt, m_state.fileList, &m_pageIds);
        // Only the paths are kept (the folders to make are worked out again per page), so a big site costs little.
        m_outputPaths.reserve(m_state.fileList.size());
        for (const std::string& page : m_state.fileList) {
            m_outputPaths.push_back(MapOutputPath(page, m_state.siteRoot, m_state.outputRoot, m_outputType).outputPath);
        }
        // Only an output folder on disk can share files with the site.
        m_overlap = !m_sinks.output && OutputOverlapsSite(m_state.siteRoot, m_state.outputRoot, m_state.fileList);
        if (!m_overlap) return;
        for (std::size_t i = 0; i < m_outputPaths.size(); ++i) {
            const auto existing = IdentityOf(m_outputPaths[i]);
            if (existing && !m_pageIds.count(*existing)) m_earlierOutputs.Add(*existing, m_state.fileList[i]);
        }
    }

    /** Why one of the side outputs must not be written; nullopt when none would replace a file of the run. */
    std::optional<std::string> CheckSideOutputs(const std::vector<std::string>& sideOutputs) {
        std::unordered_set<FileId, FileIdHash> includes;
        for (const std::string& target : sideOutputs) {
            if (includes.empty() && NeedsIncludes(target, m_state.siteRoot)) includes = LookAheadAtIncludes();
            const RunFilesBeforeStart files{m_outputPaths, m_pageIds, includes};
            if (auto why = WhySideOutputIsTaken(target, files)) return why;
            if (const auto id = SideOutputId(target)) m_sideOutputIds.emplace_back(target, *id);
        }
        return std::nullopt;
    }

    /** The side outputs that turned out to be read as includes during the run. */
    std::vector<std::string> SideOutputsRead() const {
        std::vector<std::string> read;
        for (const auto& [target, id] : m_sideOutputIds) {
            if (m_expander.FilesRead().count(id)) read.push_back(target);
        }
        return read;
    }

    /** Converts the listed pages in order; returns how many were attempted before the stop, if any. */
    std::int64_t ConvertAll(bool& stopped) {
        ProgressSink& progress = m_sinks.progress;
        progress.SetRange(0, m_state.fileCount + 1);
        progress.SetVisible(true);
        m_state.warningCount = 0;
        std::int64_t attempted = 0;
        const std::int64_t count = m_state.fileCount;
        for (std::int64_t i = 1; i <= count; ++i) {
            const auto index = static_cast<std::size_t>(i - 1);
            const std::string& path = m_state.fileList[index];
            m_state.pageDepth = 0;
            m_sinks.log.AppendLog(PageBannerLine());
            m_sinks.log.AppendLog(PageStartLine(path));
            ConvertFile(path, MapOutputPath(path, m_state.siteRoot, m_state.outputRoot, m_outputType));
            attempted = i;
            progress.SetValue(i);
            if (m_state.warningCount >= kWarningLimit) break;
        }
        stopped = m_state.warningCount >= kWarningLimit;
        if (stopped) m_sinks.messages.ShowMessage(TooManyWarningsText(), kTitleWarning, MessageIcon::Stop);
        progress.SetVisible(false);
        return attempted;
    }

private:
    // Whether publishing at outputPath would replace a file this run reads (a page or an include). Only an
    // overlapping run can meet one there.
    bool WouldReplaceSource(const std::string& outputPath) const {
        const auto existing = IdentityOf(outputPath);
        return existing && (m_pageIds.count(*existing) > 0 || m_expander.FilesRead().count(*existing) > 0);
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
            } catch (const std::exception&) {
                // The real run meets the same failure and reports it.
            }
        }
        return lookAhead.FilesRead();
    }

    void ConvertFile(const std::string& path, const OutputPathPlan& plan) {
        if (TrimSpaces(path).empty()) return;
        const std::string& outputPath = plan.outputPath;
        std::unique_ptr<PageOutput> out;
        try {
            if (m_overlap && IdentityOf(outputPath) && IdentityOf(outputPath) == IdentityOf(path)) {
                throw FileError(OutputIsTheSourceReason());
            }
            // A page that fails still claims its output path, so a later page cannot take it over.
            if (!m_outputsClaimed.insert(outputPath).second) {
                throw FileError(OutputAlreadyWrittenReason(outputPath));
            }
            out = m_output.Create(plan, kOutputPageLimit);
            const std::optional<std::string> failure = m_expander.ExpandSourcePage(path, *out);
            if (m_overlap && WouldReplaceSource(outputPath)) {
                throw FileError(OutputIsReadReason(outputPath));
            }
            if (failure) {
                // The page's own warning is already logged; the page is still a failure, never "converted", and
                // nothing of it is published.
                out->Discard();
                m_state.CountFailedPage(true);
                m_sinks.log.AppendLog(PageFailedLine(path, *failure));
                return;
            }
            out->Publish();
            // From now on an include that reaches this file reads its source page, as before the page was written.
            if (m_overlap) m_earlierOutputs.Add(out->Id(), path);
            m_sinks.log.AppendLog(PageGeneratedLine(outputPath));
        } catch (const std::exception& failure) {
            // Nothing half-written is published: a file that stood at the output path stays as it was.
            if (out) out->Discard();
            m_state.CountFailedPage(false);
            m_sinks.log.AppendLog(PageFailedLine(path, failure.what()));
        }
    }

    RunState& m_state;
    const RunSinks& m_sinks;
    std::string m_outputType;
    std::unique_ptr<DiskSiteFiles> m_disk;  // when the caller hands in no site
    SiteFiles& m_files;
    EarlierOutputFiles m_earlierOutputs;
    CachedSiteFiles m_cachedFiles;  // the site as this run sees it
    ExpanderSettings m_settings;
    PageExpander m_expander;
    DiskOutputTree m_diskOutput;
    OutputTree& m_output;
    bool m_overlap = false;  // the output folder shares folders with the site, by identity
    std::vector<std::string> m_outputPaths;  // of every listed page, in order
    std::unordered_set<FileId, FileIdHash> m_pageIds;
    std::unordered_set<std::string> m_outputsClaimed;
    std::vector<std::pair<std::string, FileId>> m_sideOutputIds;
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
    try {
        run.Collect();
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

    bool stopped = false;
    const std::int64_t attempted = run.ConvertAll(stopped);
    const std::int64_t succeeded = attempted - state.failCount;
    sinks.log.AppendLog(SummaryBannerLine());
    sinks.log.AppendLog(SummaryTotalLine(attempted));
    sinks.log.AppendLog(SummarySuccessLine(succeeded));
    sinks.log.AppendLog(SummaryFailureLine(state.failCount));
    sinks.log.AppendLog(SummaryWarningLine(state.warningCount));
    sinks.log.AppendLog(SummaryBannerLine());
    sinks.messages.ShowMessage(RunFinishedText(succeeded, state.failCount), kTitleNotice, MessageIcon::Information);

    result.outcome = RunOutcome::Completed;
    result.attempted = attempted;
    result.failed = state.failCount;
    result.warnings = state.warningCount;
    result.stoppedAtWarningLimit = stopped;
    result.sideOutputsRead = run.SideOutputsRead();
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
