#include "cli/CliArguments.h"

#include <cstdint>
#include <optional>

#include "engine/output/PathRules.h"
#include "engine/site/AssetRules.h"
#include <string_view>

namespace quernfold {

namespace {

// Windows takes '/' for '\' in a path; the folders are written with '\' there before the trailing-separator rule,
// so the log shows the paths as Windows does. On Linux the text stays as given.
std::string NativeSeparators(std::string path) {
    if constexpr (kNativeSeparator == '\\') {
        for (char& c : path) {
            if (c == '/') c = '\\';
        }
    }
    return path;
}

enum class Option {
    Type, To, Encoding, Log, Assets, AssetTypes, Report, Quiet, Jobs, MaxWarnings, MakeDir, DryRun, Full, Help, Version,
    DropServerCode, LinksAnyCase, LocalHost, ReportHtml
};

constexpr long long kMostJobs = 1024;

struct KnownOption {
    char shortName;  // 0: long form only
    std::string_view longName;
    Option option;
    bool takesValue;
};

constexpr KnownOption kOptions[] = {
    {'t', "type", Option::Type, true},         {'T', "to", Option::To, true},
    {'e', "encoding", Option::Encoding, true}, {0, "log", Option::Log, true},
    {'a', "assets", Option::Assets, false},    {0, "asset-types", Option::AssetTypes, true},
    {0, "report", Option::Report, true},
    {'q', "quiet", Option::Quiet, false},      {'j', "jobs", Option::Jobs, true},
    {0, "max-warnings", Option::MaxWarnings, true}, {0, "mkdir", Option::MakeDir, false},
    {'n', "dry-run", Option::DryRun, false},   {0, "full", Option::Full, false},
    {'h', "help", Option::Help, false},        {0, "version", Option::Version, false},
    {0, "drop-server-code", Option::DropServerCode, false},
    {0, "links-any-case", Option::LinksAnyCase, false},
    {0, "local-host", Option::LocalHost, true},
    {0, "report-html", Option::ReportHtml, true},
};

const KnownOption* FindShort(char name) {
    for (const KnownOption& known : kOptions) {
        if (known.shortName != 0 && known.shortName == name) return &known;
    }
    return nullptr;
}

const KnownOption* FindLong(std::string_view name) {
    for (const KnownOption& known : kOptions) {
        if (known.longName == name) return &known;
    }
    return nullptr;
}

// A whole decimal number from low to high, or nullopt.
std::optional<long long> WholeNumber(const std::string& text, long long low, long long high) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

// Returns an error text, or nullopt when the option was taken.
std::optional<std::string> Apply(const KnownOption& known, const std::string& value, CliOptions& options) {
    switch (known.option) {
        case Option::Type:
            options.choices.sourceType = value;
            break;
        case Option::To:
            options.choices.outputType = value;
            break;
        case Option::Encoding: {
            const auto choice = ParseCodePageChoice(value);
            if (!choice) {
                return "unknown encoding '" + value + "' (choose auto, gbk, gb18030, big5, shift_jis or utf-8)";
            }
            options.choices.codePage = *choice;
            break;
        }
        case Option::Log:
            // An empty name would put the temporary file in the working folder and fail only at the very end.
            if (value.empty()) return std::string("--log needs a file name");
            options.hasLogFile = true;
            options.logFile = value;
            break;
        case Option::Assets:
            options.choices.copyAssets = true;
            break;
        case Option::Full:
            options.choices.ignoreEarlierRun = true;
            break;
        case Option::AssetTypes: {
            std::string error;
            const auto types = ParseAssetTypes(value, error);
            if (!types) return "--asset-types: " + error;
            options.choices.assetTypes = *types;
            options.choices.copyAssets = true;  // a list of types is asked for only to copy them
            break;
        }
        case Option::Report:
            if (value.empty()) return std::string("--report needs a file name, or - for standard output");
            options.hasReportFile = true;
            options.reportFile = value;
            if (value == "-") options.quiet = true;  // standard output carries the report alone
            break;
        case Option::Quiet:
            options.quiet = true;
            break;
        case Option::Jobs: {
            const auto jobs = WholeNumber(value, 1, kMostJobs);
            if (!jobs) return "--jobs needs a number from 1 to " + std::to_string(kMostJobs) + ", not '" + value + "'";
            options.choices.jobs = static_cast<unsigned>(*jobs);
            break;
        }
        case Option::MaxWarnings: {
            const auto limit = WholeNumber(value, 0, INT32_MAX);
            if (!limit) return "--max-warnings needs a whole number (0: never stop), not '" + value + "'";
            options.choices.maxWarnings = *limit;
            break;
        }
        case Option::MakeDir:
            options.makeOutputDir = true;
            break;
        case Option::DryRun:
            options.dryRun = true;
            break;
        case Option::Help:
            options.help = true;
            break;
        case Option::Version:
            options.version = true;
            break;
        case Option::DropServerCode:
            options.choices.dropServerCode = true;
            break;
        case Option::LinksAnyCase:
            options.choices.anyCaseLinks = true;
            break;
        case Option::ReportHtml:
            if (value.empty() || value == "-") return std::string("--report-html needs a file name");
            options.hasHtmlReport = true;
            options.htmlReportFile = value;
            break;
        case Option::LocalHost:
            if (value.empty() || value.find_first_of("/ \t") != std::string::npos) {
                return "--local-host needs a host name, not '" + value + "'";
            }
            options.choices.localHosts.push_back(value);
            break;
    }
    return std::nullopt;
}

/** Reads the options and operands one argument at a time; the first error that counts is kept. */
class ArgumentReader {
public:
    ArgumentReader(const std::vector<std::string>& args, CliOptions& options) : m_args(args), m_options(options) {}

    void ReadAll() {
        bool optionsEnded = false;
        for (m_next = 0; m_next < m_args.size();) {
            const std::string& arg = m_args[m_next++];
            if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
                operands.push_back(arg);
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (arg[1] == '-') {
                ReadLong(arg);
            } else {
                ReadShortCluster(arg);
            }
        }
    }

    std::vector<std::string> operands;
    std::string firstError;

private:
    // An error that comes before --help or --version wins over them; one after them does not count.
    void Fail(std::string error) {
        if (firstError.empty() && !m_options.help && !m_options.version) firstError = std::move(error);
    }

    void ReadLong(const std::string& arg) {
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const KnownOption* known = FindLong(name);
        if (!known) return Fail("unknown option '--" + name + "'");
        std::string value;
        if (known->takesValue) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (m_next < m_args.size()) {
                value = m_args[m_next++];
            } else {
                return Fail("option '--" + name + "' needs a value");
            }
        } else if (equals != std::string::npos) {
            return Fail("option '--" + name + "' takes no value");
        }
        if (auto error = Apply(*known, value, m_options)) Fail(std::move(*error));
    }

    // A cluster of short options: "-q", "-qt asp", "-tasp".
    void ReadShortCluster(const std::string& arg) {
        for (std::size_t at = 1; at < arg.size(); ++at) {
            const KnownOption* known = FindShort(arg[at]);
            if (!known) return Fail(std::string("unknown option '-") + arg[at] + "'");
            std::string value;
            if (known->takesValue) {
                if (at + 1 < arg.size()) {
                    value = arg.substr(at + 1);
                } else if (m_next < m_args.size()) {
                    value = m_args[m_next++];
                } else {
                    return Fail(std::string("option '-") + arg[at] + "' needs a value");
                }
                at = arg.size();
            }
            if (auto error = Apply(*known, value, m_options)) Fail(std::move(*error));
        }
    }

    const std::vector<std::string>& m_args;
    CliOptions& m_options;
    std::size_t m_next = 0;
};

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    CliOptions& options = parsed.options;
    options.choices.sourceType = "jsp";
    options.choices.outputType = "html";
    ArgumentReader reader(args, options);
    reader.ReadAll();
    const std::string& firstError = reader.firstError;
    const std::vector<std::string>& operands = reader.operands;

    if (!firstError.empty()) {
        parsed.error = firstError;
        options.help = options.version = false;
    } else if (options.help || options.version) {
        return parsed;
    } else if (operands.size() != 2) {
        parsed.error = operands.size() < 2 ? "SITE_ROOT and OUTPUT_DIR are both needed"
                                           : "too many operands: give only SITE_ROOT and OUTPUT_DIR";
    } else {
        options.choices.siteRoot = NativeSeparators(operands[0]);
        options.choices.outputDir = NativeSeparators(operands[1]);
    }
    return parsed;
}

std::string UsageText() {
    return "Usage: quernfold-cli [OPTIONS] SITE_ROOT OUTPUT_DIR\n"
           "Converts the dynamic pages below SITE_ROOT into static pages below OUTPUT_DIR.\n"
           "\n"
           "  -t, --type TEXT       source type, as typed into the window's source type box (default \"jsp\")\n"
           "  -T, --to TEXT         output type, as the output type box (default \"html\")\n"
           "  -e, --encoding NAME   page code page: auto (default), gbk, gb18030, big5, shift_jis, utf-8\n"
           "      --log FILE        also write the log text exactly as the save-log button would (UTF-8)\n"
           "  -a, --assets          also copy the site's static files (images, style sheets, scripts, fonts, ...)\n"
           "      --asset-types LIST  copy these extensions instead (comma-separated, no dots; implies -a)\n"
           "      --drop-server-code  ASP pages drop their <% ... %> blocks (includes are still expanded)\n"
           "      --links-any-case  also rewrite the source extension in other letter cases (.Asp, .ASP)\n"
           "      --report FILE     write a JSON report of the run (pages, static files, broken links);\n"
           "                        FILE - writes it to stdout and implies -q\n"
           "      --report-html FILE  also write the report as one HTML page to read in a browser (Chinese)\n"
           "      --local-host NAME  the report also lists URLs to host NAME (beside localhost, 127.x.x.x,\n"
           "                        [::1] and 0.0.0.0) as naming the old server; repeatable\n"
           "  -q, --quiet           no log lines on stdout; warnings and failures still go to stderr\n"
           "  -j, --jobs N          pages converted at once (default: one per processor; 1: one after another)\n"
           "      --max-warnings N  stop the run after N warnings (default 10; 0: never stop)\n"
           "      --mkdir           create OUTPUT_DIR (and its parents) when it does not exist\n"
           "  -n, --dry-run         list each page and the file it would become; write nothing\n"
           "      --full            convert every page, even those unchanged since the last run into OUTPUT_DIR\n"
           "  -h, --help            show this help and exit\n"
           "      --version         show the version and exit\n"
           "\n"
           "The log lines go to stdout; message texts, errors and the progress bar go to stderr.\n"
           "Ctrl-C (SIGINT) or SIGTERM stops the run cleanly: the page being converted is abandoned, the summary\n"
           "and --log are written; a second signal ends the program at once.\n"
           "Exit status: 0 = converted with no failure and no warning; 1 = completed with failures or warnings,\n"
           "or a static file that could not be copied;\n"
           "2 = refused or aborted (bad usage, empty output folder or site root, a type holding /, \\ or NUL or\n"
           "being . or .., a folder that cannot be listed, a --log or --report file or standard output that cannot\n"
           "be written, a --log or --report file that is a page, an include or an output file of the run);\n"
           "130 / 143 = stopped by SIGINT / SIGTERM.\n";
}

std::string VersionText() {
    return "quernfold-cli " QUERNFOLD_VERSION "\n";
}

}  // namespace quernfold
