#pragma once

#include <string>
#include <vector>

#include "engine/run/ConversionRun.h"

namespace quernfold {

/** What one command line asks for. */
struct CliOptions {
    ConversionChoices choices;  // the four choices as given (the engine trims what the window trims)
    bool hasLogFile = false;
    std::string logFile;
    bool hasReportFile = false;
    std::string reportFile;  // "-": standard output
    bool hasHtmlReport = false;
    std::string htmlReportFile;  // --report-html: the report as a page to read
    bool quiet = false;
    bool makeOutputDir = false;  // --mkdir
    bool dryRun = false;         // -n: list what would be written, write nothing
    bool help = false;
    bool version = false;
};

/** The outcome of parsing: the options, or the reason the command line is not usable. */
struct ParsedArguments {
    CliOptions options;
    std::string error;  // empty when the command line is usable
};

/**
 * Parses the arguments that follow the program name. Options may stand before, between or after the two operands;
 * "--" ends the options. --help and --version win over a missing operand and over any error that comes after them
 * on the command line; an error before them wins.
 */
ParsedArguments ParseArguments(const std::vector<std::string>& args);

/** The text of --help. */
std::string UsageText();

/** The text of --version. */
std::string VersionText();

}  // namespace quernfold
