#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "engine/run/ConversionRun.h"

namespace quernfold {

/** Exit statuses of quernfold-cli. */
inline constexpr int kExitClean = 0;     // the run completed with no failure and no warning
inline constexpr int kExitProblems = 1;  // the run completed with failures or warnings (also the stop at ten)
inline constexpr int kExitRefused = 2;   // bad usage, refused, aborted, or the --log file could not be written
// A run stopped by SIGHUP, SIGINT or SIGTERM ends by that signal (a shell shows 129, 130 or 143).

/** The exit status a finished run gives. */
int ExitStatusFor(const RunResult& result);

/** What the program finds around it; tests run it in-process with the defaults. */
struct CliEnvironment {
    bool handleStopSignals = false;  // SIGHUP / SIGINT / SIGTERM stop the run cleanly, then end the program by it
    int columns = 0;                 // the terminal's width for the progress bar; 0: ask the terminal
    bool stdoutClosedAtStart = false;  // standard output was closed (it leads to /dev/null): --report - is refused
    bool outIsStandardOutput = false;  // out writes to descriptor 1, whose reader can be asked after
};

/**
 * The whole of quernfold-cli after start-up: parses args (without the program name), runs the conversion with
 * the log on out and the message texts (and, when errIsTerminal, the progress bar) on err, and returns the exit
 * status. It keeps no copy of the log, and reads and writes no settings file. With handleStopSignals, a run
 * stopped by a signal does not return: the program ends by that signal once the summary and --log are written.
 */
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal,
           const CliEnvironment& environment = {});

}  // namespace quernfold
