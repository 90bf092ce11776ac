#include "cli/CliApp.h"

#include <exception>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/CliArguments.h"
#include "cli/CliSinks.h"
#include "engine/LogLines.h"
#include "engine/AsciiText.h"
#include "engine/PathRules.h"
#include "engine/RunState.h"

namespace quernfold {

namespace {

constexpr std::string_view kProgram = "quernfold-cli";

// Characters of a UTF-8 text, as the page names' last three are counted.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return count;
}

}  // namespace

int ExitStatusFor(const RunResult& result) {
    if (result.outcome != RunOutcome::Completed) return kExitRefused;
    return result.failed == 0 && result.warnings == 0 ? kExitClean : kExitProblems;
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
        // The error may echo what was typed: escaped, so a value cannot send control sequences to the terminal.
        err << kProgram << ": " << LogPath(parsed.error) << "\n"
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

    if (const std::string_view type = TrimSpaces(options.choices.sourceType);
        !type.empty() && CharacterCount(type) != 3 && IsUsableType(type)) {
        err << kProgram << ": " << SourceTypeLengthNote(type) << "\n";
    }

    ConversionChoices choices = options.choices;
    if (logFile) choices.sideOutputs.push_back(options.logFile);
    RunState state;
    const RunResult result = StartConversion(choices, state, RunSinks{log, progress, messages, nullptr});
    int status = ExitStatusFor(result);
    if (logFile && (!result.sideOutputRefusal.empty() || !result.sideOutputsRead.empty())) {
        logFile->Abandon();
        err << kProgram << ": "
            << (result.sideOutputRefusal.empty() ? SideOutputReadText(options.logFile) : result.sideOutputRefusal)
            << "\n";
        status = kExitRefused;
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
