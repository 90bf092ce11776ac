#include "cli/CliApp.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <ostream>
#include <system_error>

#include "cli/CliArguments.h"
#include "cli/CliSinks.h"
#include "engine/platform/StopSignals.h"
#include "engine/text/AsciiText.h"
#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/platform/AtomicFile.h"
#include "engine/platform/FileSystem.h"
#include "engine/platform/StandardStreams.h"
#include "engine/output/PathRules.h"
#include "engine/run/RunPlan.h"
#include "engine/report/LinkCauses.h"
#include "engine/report/RunReport.h"
#include "engine/run/RunState.h"

namespace quernfold {

namespace {

// One line for the end of a run with a report: how many links lead nowhere, by cause.
std::string BrokenLinksText(const std::vector<BrokenLink>& links) {
    std::string text = std::to_string(links.size()) + (links.size() == 1 ? " broken link" : " broken links");
    const char* separator = ": ";
    for (const auto& [cause, count] : CountByCause(links)) {
        if (count == 0) continue;
        text += separator + std::to_string(count) + " " + cause;
        separator = ", ";
    }
    return text + " (see the report)";
}

// One line for the end of a run with a report that found server code or connection details left in what it
// published.
std::string LeftoversText(const RunReport& report) {
    const std::int64_t pages = report.pagesWithServerCode;
    const std::int64_t files = report.filesWithExposures;
    return std::to_string(pages) + (pages == 1 ? " published page holds" : " published pages hold") +
           " server code, " + std::to_string(files) + (files == 1 ? " exposes" : " expose") +
           " connection details (see the report)";
}

}  // namespace

namespace {

constexpr std::string_view kProgram = "quernfold-cli";

/** Lists what a run would write; returns the exit status. */
int DryRun(const CliOptions& options, std::ostream& out, std::ostream& err) {
    StreamMessages messages(err, nullptr);
    // The side outputs are judged as the run would judge them, though nothing is written.
    ConversionChoices choices = options.choices;
    if (options.hasLogFile) choices.sideOutputs.push_back(options.logFile);
    if (options.hasReportFile && options.reportFile != "-") choices.sideOutputs.push_back(options.reportFile);
    if (options.hasHtmlReport) choices.sideOutputs.push_back(options.htmlReportFile);
    const PlannedRun plan = PlanConversion(choices, messages);
    if (!plan.sideOutputRefusal.empty()) err << kProgram << ": " << plan.sideOutputRefusal << "\n";
    if (plan.outcome != RunOutcome::Completed) return kExitRefused;
    for (const PlannedPage& page : plan.pages) {
        out << LogPath(page.source) << " -> " << LogPath(page.output);
        if (page.collidesWith) out << " (collides with " << LogPath(*page.collidesWith) << ")";
        if (page.outputIsSourceFile) out << " (is a source file)";
        out << '\n';
    }
    // With -a: each static file, copied, left as it is, or skipped with why.
    for (const PlannedStaticFile& file : plan.staticFiles) {
        out << LogPath(file.path);
        if (file.action == PlannedStaticFile::Action::Skip) {
            out << " (skipped: " << LogPath(file.why) << ")\n";
        } else {
            out << " -> " << LogPath(file.output)
                << (file.action == PlannedStaticFile::Action::Unchanged ? " (unchanged)\n" : "\n");
        }
    }
    out.flush();
    return kExitClean;
}

/**
 * Looks at the output folder before a run, and creates it with --mkdir. note becomes the line for stderr that
 * goes before the summary when every page is bound to fail. Returns false when the run may not start.
 */
bool PrepareOutputFolder(const CliOptions& options, std::ostream& err, std::string& note) {
    const ConversionChoices& choices = options.choices;
    // A run with no output folder or site root is refused by the run itself, with its own message.
    if (TrimSpaces(choices.outputDir).empty() || TrimSpaces(choices.siteRoot).empty()) return true;
    const std::string folder(TrimSpaces(choices.outputDir));
    if (const std::optional<PathInfo> info = LookAt(folder)) {
        if (info->kind != EntryKind::Folder) note = LogPath(folder) + " is not a folder";
        return true;
    }
    if (!options.makeOutputDir) {
        note = LogPath(folder) + " does not exist (use --mkdir to create it)";
        return true;
    }
    std::error_code error;
    // Parents included, each with 0777 less the umask.
    std::filesystem::create_directories(folder, error);
    if (error) {
        err << kProgramPrefix << "cannot create " << LogPath(folder) << ": " << error.message() << "\n";
        return false;
    }
    err << kProgramPrefix << "created " << LogPath(folder) << "\n";
    return true;
}

// Characters of a UTF-8 text, as the page names' last three are counted.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}

/** Usage errors, --help, --version and the dry run: answered without a run. */
std::optional<int> AnswerWithoutARun(const ParsedArguments& parsed, std::ostream& out, std::ostream& err) {
    const CliOptions& options = parsed.options;
    if (!parsed.error.empty()) {
        // The error may echo what was typed: escaped, so a value cannot send control sequences to the terminal.
        err << kProgram << ": " << LogPath(parsed.error) << "\n"
            << "Try '" << kProgram << " --help' for more information.\n";
        return kExitRefused;
    }
    if (options.help) {
        out << UsageText() << std::flush;
        return kExitClean;
    }
    if (options.version) {
        out << VersionText() << std::flush;
        return kExitClean;
    }
    if (options.dryRun) return DryRun(options, out, err);
    return std::nullopt;
}

/**
 * Opens the log file and the report file before the run, so a name that cannot be written costs no conversion
 * (the report's temporary file beside its target shows a folder that cannot be written). False when one fails.
 */
bool OpenSideOutputs(const CliOptions& options, bool reportToStdout, std::ostream& err,
                     std::unique_ptr<LogFileWriter>& logFile, std::unique_ptr<PageOutput>& reportFile,
                     std::unique_ptr<PageOutput>& htmlFile) {
    if (options.hasLogFile) {
        try {
            logFile = std::make_unique<LogFileWriter>(options.logFile);
        } catch (const std::exception& failure) {
            err << kProgramPrefix << "cannot write the log file " << LogPath(options.logFile) << ": "
                << LogPath(failure.what()) << "\n";
            return false;
        }
    }
    if (options.hasReportFile && !reportToStdout) {
        try {
            reportFile = CreateAtomicFile(options.reportFile, WritePolicy::LogFile());
        } catch (const std::exception& failure) {
            err << kProgram << ": cannot write the report file " << LogPath(options.reportFile) << ": "
                << LogPath(failure.what()) << "\n";
            return false;
        }
    }
    if (options.hasHtmlReport) {
        try {
            htmlFile = CreateAtomicFile(options.htmlReportFile, WritePolicy::LogFile());
        } catch (const std::exception& failure) {
            err << kProgram << ": cannot write the report file " << LogPath(options.htmlReportFile) << ": "
                << LogPath(failure.what()) << "\n";
            return false;
        }
    }
    return true;
}

/** Writes the report into reportFile, or to out when there is none; false (said on err) when that fails. */
bool WriteReport(const RunReport& report, PageOutput* reportFile, const std::string& reportName, std::ostream& out,
                 std::ostream& err, bool html = false) {
    try {
        if (reportFile) {
            auto write = [&](std::string_view piece) { reportFile->Write(piece); };
            if (html) {
                WriteReportHtml(report, write);
            } else {
                WriteReportJson(report, write);
            }
            reportFile->Publish();
        } else {
            WriteReportJson(report, [&](std::string_view piece) { out << piece; });
            out << std::flush;
            if (!out) throw std::runtime_error("cannot write the report to standard output");
        }
    } catch (const std::exception& failure) {
        err << kProgram << ": cannot write the report file " << LogPath(reportName) << ": " << LogPath(failure.what())
            << "\n";
        return false;
    }
    return true;
}

/** Where a completed run's report goes: the JSON file, the HTML file, standard output. */
struct ReportTargets {
    PageOutput* json;
    PageOutput* html;
    bool toStdout;
};

/**
 * Writes a completed run's reports, then the stderr lines on what they found; false (said on err) when one could
 * not be written.
 */
bool WriteReports(const RunReport& report, const ReportTargets& targets, const CliOptions& options, std::ostream& out,
                  std::ostream& err) {
    bool written = true;
    if ((targets.json || targets.toStdout) && !WriteReport(report, targets.json, options.reportFile, out, err)) {
        written = false;
    }
    if (targets.html && !WriteReport(report, targets.html, options.htmlReportFile, out, err, true)) written = false;
    if (!targets.json && !targets.toStdout && !targets.html) return written;
    if (!report.brokenLinks.empty()) err << kProgramPrefix << BrokenLinksText(report.brokenLinks) << "\n";
    if (report.pagesWithServerCode > 0 || report.filesWithExposures > 0) {
        err << kProgramPrefix << LeftoversText(report) << "\n";
    }
    return written;
}

}  // namespace

int ExitStatusFor(const RunResult& result) {
    if (result.outcome != RunOutcome::Completed) return kExitRefused;
    const RunCounts& counts = result.counts;
    return counts.failed == 0 && counts.warnings == 0 && counts.StaticFilesFailed() == 0 ? kExitClean : kExitProblems;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal,
           const CliEnvironment& environment) {
    const ParsedArguments parsed = ParseArguments(args);
    const CliOptions& options = parsed.options;
    if (const std::optional<int> answered = AnswerWithoutARun(parsed, out, err)) return *answered;

    // From here on a signal stops the run cleanly; before the run starts, that leaves nothing behind either.
    RunState state;
    std::optional<StopSignals> signals;
    if (environment.handleStopSignals) signals.emplace(state.stopRequested);

    const bool reportToStdout = options.hasReportFile && options.reportFile == "-";
    if (reportToStdout && environment.stdoutClosedAtStart) {
        // Standard output leads to /dev/null: the report would be lost while the run said it was written.
        err << kProgramPrefix << "cannot write the report to standard output: it was closed at start-up\n";
        return kExitRefused;
    }
    // --mkdir first: a side output may lie in the output folder it makes.
    std::string outputFolderNote;
    if (!PrepareOutputFolder(options, err, outputFolderNote)) return kExitRefused;

    std::unique_ptr<LogFileWriter> logFile;
    std::unique_ptr<PageOutput> reportFile;
    std::unique_ptr<PageOutput> htmlFile;
    if (!OpenSideOutputs(options, reportToStdout, err, logFile, reportFile, htmlFile)) return kExitRefused;
    RunReport report;

    std::optional<TerminalProgress> bar;
    NoProgress noProgress;
    if (errIsTerminal) {
        bar.emplace(err, nullptr, environment.columns > 0 ? environment.columns : TerminalColumns(StandardStream::Error));
    }
    TerminalProgress* barOnScreen = bar ? &*bar : nullptr;
    ProgressSink& progress = bar ? static_cast<ProgressSink&>(*bar) : noProgress;

    StreamLog stdoutLog(out, barOnScreen);
    DiagnosticsLog diagnostics(err, barOnScreen);
    BeforeSummaryNote outputFolderLine(err, barOnScreen, outputFolderNote);
    LogFanOut log;
    log.Add(outputFolderLine);
    if (options.quiet) {
        log.Add(diagnostics);
    } else {
        log.Add(stdoutLog);
    }
    if (logFile) log.Add(*logFile);
    StreamMessages messages(err, barOnScreen);

    if (const std::string_view type = TrimSpaces(options.choices.sourceType);
        !type.empty() && CharacterCount(type) != 3 && IsUsableType(type)) {
        err << kProgramPrefix << SourceTypeLengthNote(type) << "\n";
    }

    ConversionChoices choices = options.choices;
    if (logFile) choices.sideOutputs.push_back(options.logFile);
    if (reportFile) choices.sideOutputs.push_back(options.reportFile);
    if (htmlFile) choices.sideOutputs.push_back(options.htmlReportFile);
    const bool reported = options.hasReportFile || options.hasHtmlReport;
    const RunResult result = StartConversion(
        choices, state, RunSinks{log, progress, messages, nullptr, nullptr, reported ? &report : nullptr});
    int status = ExitStatusFor(result);
    // A side output that would replace a file of the run, or that the run read as an include, is not written.
    if (!result.sideOutputRefusal.empty()) {
        if (logFile) logFile->Abandon();
        err << kProgram << ": " << result.sideOutputRefusal << "\n";
        status = kExitRefused;
    }
    for (const std::string& read : result.sideOutputsRead) {
        if (logFile && read == options.logFile) logFile->Abandon();
        if (reportFile && read == options.reportFile) reportFile.reset();
        if (htmlFile && read == options.htmlReportFile) htmlFile.reset();
        err << kProgram << ": " << SideOutputReadText(read) << "\n";
        status = kExitRefused;
    }

    // A refused or aborted run has no report: an earlier report file stays as it was.
    if (result.outcome == RunOutcome::Completed &&
        !WriteReports(report, {reportFile.get(), htmlFile.get(), reportToStdout}, options, out, err)) {
        status = kExitRefused;
    }

    if (!options.quiet) {
        // A reader that went away only stopped the view; the run's result stands.
        // A failed write that stdout's tie to stderr made is seen here only by asking whether the reader is gone.
        if (stdoutLog.Finish() == StreamLog::Status::Failed &&
            !(environment.outIsStandardOutput && ReaderIsGone(StandardStream::Output))) {
            err << kProgramPrefix << "cannot write the log to standard output\n";
            status = kExitRefused;
        }
    }
    if (logFile) {
        if (const std::optional<std::string> failure = logFile->Finish()) {
            // The same words the save-log button would show.
            err << kProgramPrefix << TerminalText(LogSaveFailedText(*failure)) << "\n";
            status = kExitRefused;
        }
    }
    if (signals && signals->Received() != 0) {
        out.flush();
        err.flush();
        signals->EndByReceivedSignal();
    }
    return status;
}

}  // namespace quernfold
