#include "cli/CliApp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>

#include "cli/CliArguments.h"
#include "cli/CliSinks.h"
#include "cli/StopSignals.h"
#include "engine/Errors.h"
#include "engine/LogLines.h"
#include "engine/PathRules.h"
#include "engine/RunPlan.h"
#include "engine/RunState.h"

namespace quernfold {

namespace {

constexpr std::string_view kProgram = "quernfold-cli";

/** Lists what a run would write; returns the exit status. */
int DryRun(const CliOptions& options, std::ostream& out, std::ostream& err) {
    StreamMessages messages(err, nullptr);
    const auto plan = PlanConversion(options.choices, messages);
    if (!plan) return kExitRefused;
    for (const PlannedPage& page : *plan) {
        out << LogPath(page.source) << " -> " << LogPath(page.output);
        if (page.collidesWith) out << " (collides with " << LogPath(*page.collidesWith) << ")";
        if (page.outputIsSourceFile) out << " (is a source file)";
        out << '\n';
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
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) note = LogPath(folder) + " is not a folder";
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

}  // namespace

int ExitStatusFor(const RunResult& result) {
    if (result.outcome != RunOutcome::Completed) return kExitRefused;
    return result.failed == 0 && result.warnings == 0 ? kExitClean : kExitProblems;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal,
           const CliEnvironment& environment) {
    const ParsedArguments parsed = ParseArguments(args);
    const CliOptions& options = parsed.options;
    if (!parsed.error.empty()) {
        err << kProgram << ": " << parsed.error << "\n"
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

    // From here on a signal stops the run cleanly; before the run starts, that leaves nothing behind either.
    RunState state;
    std::optional<StopSignals> signals;
    if (environment.handleStopSignals) signals.emplace(state.stopRequested);

    // The log file is opened before the run, so a name that cannot be written costs no conversion.
    std::unique_ptr<LogFileWriter> logFile;
    if (options.hasLogFile) {
        try {
            logFile = std::make_unique<LogFileWriter>(options.logFile);
        } catch (const std::exception& failure) {
            err << kProgramPrefix << "cannot write the log file " << LogPath(options.logFile) << ": "
                << LogPath(failure.what()) << "\n";
            return kExitRefused;
        }
    }
    std::string outputFolderNote;
    if (!PrepareOutputFolder(options, err, outputFolderNote)) return kExitRefused;

    std::optional<TerminalProgress> bar;
    NoProgress noProgress;
    if (errIsTerminal) {
        bar.emplace(err, nullptr, environment.columns > 0 ? environment.columns : TerminalColumns(STDERR_FILENO));
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

    const RunResult result = StartConversion(options.choices, state, RunSinks{log, progress, messages, nullptr});
    int status = ExitStatusFor(result);

    if (!options.quiet) {
        // A reader that went away only stopped the view; the run's result stands.
        if (stdoutLog.Finish() == StreamLog::Status::Failed) {
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
