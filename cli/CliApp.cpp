#include "cli/CliApp.h"

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <ostream>

#include "cli/CliArguments.h"
#include "cli/CliSinks.h"
#include "engine/LogLines.h"
#include "engine/OutputFile.h"
#include "engine/RunReport.h"
#include "engine/RunState.h"

namespace quernfold {

namespace {

constexpr std::string_view kProgram = "quernfold-cli";

}  // namespace

int ExitStatusFor(const RunResult& result) {
    if (result.outcome != RunOutcome::Completed) return kExitRefused;
    return result.failed == 0 && result.warnings == 0 && result.staticFilesFailed == 0 ? kExitClean : kExitProblems;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    const ParsedArguments parsed = ParseArguments(args);
    const CliOptions& options = parsed.options;
    if (options.help) {
        out << UsageText() << std::flush;
        return kExitClean;
    }
    if (options.version) {
        out << VersionText() << std::flush;
        return kExitClean;
    }
    if (!parsed.error.empty()) {
        err << kProgram << ": " << parsed.error << "\n"
            << "Try '" << kProgram << " --help' for more information.\n";
        return kExitRefused;
    }

    // The log file is opened before the run, so a name that cannot be written costs no conversion.
    std::unique_ptr<LogFileWriter> logFile;
    if (options.hasLogFile) {
        try {
            logFile = std::make_unique<LogFileWriter>(options.logFile);
        } catch (const std::exception& failure) {
            err << kProgram << ": cannot write the log file " << LogPath(options.logFile) << ": "
                << LogPath(failure.what()) << "\n";
            return kExitRefused;
        }
    }

    // So is the report file: its temporary file beside the target shows a folder that cannot be written.
    std::unique_ptr<OutputFile> reportFile;
    const bool reportToStdout = options.hasReportFile && options.reportFile == "-";
    if (options.hasReportFile && !reportToStdout) {
        try {
            reportFile = std::make_unique<OutputFile>(options.reportFile, OutputFile::Target::InPlaceIfNotRegular);
        } catch (const std::exception& failure) {
            err << kProgram << ": cannot write the report file " << LogPath(options.reportFile) << ": "
                << LogPath(failure.what()) << "\n";
            return kExitRefused;
        }
    }
    RunReport report;

    std::optional<TerminalProgress> bar;
    NoProgress noProgress;
    if (errIsTerminal) bar.emplace(err, &out);
    TerminalProgress* barOnScreen = bar ? &*bar : nullptr;
    ProgressSink& progress = bar ? static_cast<ProgressSink&>(*bar) : noProgress;

    StreamLog stdoutLog(out, barOnScreen);
    LogFanOut log;
    if (!options.quiet) log.Add(stdoutLog);
    if (logFile) log.Add(*logFile);
    StreamMessages messages(err, barOnScreen);

    RunState state;
    const RunResult result = StartConversion(options.choices, state,
                                             RunSinks{log, progress, messages, nullptr,
                                                      options.hasReportFile ? &report : nullptr});
    int status = ExitStatusFor(result);

    // A refused or aborted run has no report: an earlier report file stays as it was.
    if (options.hasReportFile && result.outcome == RunOutcome::Completed) {
        const std::string json = ReportJson(report);
        try {
            if (reportFile) {
                reportFile->Write(json);
                reportFile->Publish();
            } else {
                out << json << std::flush;
                if (!out) throw std::runtime_error("cannot write the report to standard output");
            }
        } catch (const std::exception& failure) {
            err << kProgram << ": cannot write the report file " << LogPath(options.reportFile) << ": "
                << LogPath(failure.what()) << "\n";
            status = kExitRefused;
        }
    }

    if (!options.quiet) {
        out.flush();
        if (!out) {
            err << kProgram << ": cannot write the log to standard output\n";
            status = kExitRefused;
        }
    }
    if (logFile) {
        if (const std::optional<std::string> failure = logFile->Finish()) {
            // The same words the save-log button would show.
            err << TerminalText(LogSaveFailedText(*failure)) << "\n";
            status = kExitRefused;
        }
    }
    return status;
}

}  // namespace quernfold
