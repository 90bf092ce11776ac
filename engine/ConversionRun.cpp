#include "engine/ConversionRun.h"

#include <sys/stat.h>

#include <cstdlib>
#include <unordered_set>

#include "engine/CachedSiteFiles.h"
#include "engine/DiskSiteFiles.h"
#include "engine/Errors.h"
#include "engine/LogLines.h"
#include "engine/OutputFile.h"
#include "engine/OutputMapping.h"
#include "engine/OutputSink.h"
#include "engine/PageExpander.h"
#include "engine/PathRules.h"
#include "engine/SettingsStore.h"
#include "engine/Sinks.h"
#include "engine/SourceWalker.h"

namespace quernfold {

namespace {

constexpr std::int64_t kWarningLimit = 10;
constexpr std::uint64_t kOutputPageLimit = std::uint64_t{1} << 30;  // 1 GiB
constexpr std::string_view kSection = "sys";

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
          m_settings{choices.sourceType, choices.outputType, choices.codePage, kNativeSeparator},
          m_expander(m_settings, state, m_cachedFiles, sinks.log) {}

    void Collect() {
        CollectSourceFiles(m_files, m_state.siteRoot, m_state.srcExt, m_state.fileList, &m_pageIds);
        if (MayReplaceFilesOfTheSite()) LookAheadAtIncludes();
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
            const std::string& path = m_state.fileList[static_cast<std::size_t>(i - 1)];
            m_state.pageDepth = 0;
            m_sinks.log.AppendLog(PageBannerLine());
            m_sinks.log.AppendLog(PageStartLine(path));
            ConvertFile(path);
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
    // Whether publishing at outputPath would replace a file this run reads (a page or an include).
    bool WouldReplaceSource(const std::string& outputPath) const {
        const auto existing = IdOf(outputPath);
        if (!existing) return false;
        return m_pageIds.count(*existing) > 0 || m_expander.FilesRead().count(*existing) > 0 ||
               m_includedLater.count(*existing) > 0;
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
            } catch (const std::exception&) {
                // The real run meets the same failure and reports it.
            }
        }
        m_includedLater = lookAhead.FilesRead();
    }

    void ConvertFile(const std::string& path) {
        if (TrimSpaces(path).empty()) return;
        std::unique_ptr<OutputFile> out;
        std::string outputPath;
        try {
            outputPath = MapOutputPath(path, m_state.siteRoot, m_state.outputRoot, m_outputType);
            if (IdOf(outputPath) && IdOf(outputPath) == IdOf(path)) {
                throw FileError(OutputIsTheSourceReason());
            }
            if (!m_outputsWritten.insert(outputPath).second) {
                throw FileError(OutputAlreadyWrittenReason(outputPath));
            }
            out = std::make_unique<OutputFile>(outputPath, OutputFile::Target::ReplaceAtomically, kOutputPageLimit);
            const std::optional<std::string> failure = m_expander.ExpandSourcePage(path, *out);
            if (WouldReplaceSource(outputPath)) {
                throw FileError(OutputIsReadReason(outputPath));
            }
            if (failure) {
                // The page's own warning is already logged; the page is still a failure, never "converted".
                out->PublishPartial();
                m_state.CountFailedPage(true);
                m_sinks.log.AppendLog(PageFailedLine(path, *failure));
                return;
            }
            out->Publish();
            m_sinks.log.AppendLog(PageGeneratedLine(outputPath));
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
            m_sinks.log.AppendLog(PageFailedLine(path, failure.what()));
        }
    }

    RunState& m_state;
    const RunSinks& m_sinks;
    std::string m_outputType;
    std::unique_ptr<DiskSiteFiles> m_disk;  // when the caller hands in no site
    SiteFiles& m_files;
    CachedSiteFiles m_cachedFiles;  // the site as this run sees it
    ExpanderSettings m_settings;
    PageExpander m_expander;
    std::unordered_set<FileId, FileIdHash> m_pageIds;
    std::unordered_set<FileId, FileIdHash> m_includedLater;  // from the look-ahead, when it was needed
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
