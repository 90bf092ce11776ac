#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"

namespace quernfold {

/** Exit statuses of quernfold-cli. */
inline constexpr int kExitClean = 0;     // the run completed with no failure and no warning
inline constexpr int kExitProblems = 1;  // the run completed with failures or warnings (also the stop at ten)
inline constexpr int kExitRefused = 2;   // bad usage, refused, aborted, or the --log file could not be written

/** The exit status a finished run gives. */
int ExitStatusFor(const RunResult& result);

/**
 * The whole of quernfold-cli after start-up: parses args (without the program name), runs the conversion with
 * the log on out and the message texts (and, when errIsTerminal, the progress bar) on err, and returns the exit
 * status. It keeps no copy of the log, and reads and writes no settings file.
 */
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal);

}  // namespace quernfold
