#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/text/CodePage.h"
#include "engine/report/RunReport.h"
#include "engine/run/RunState.h"

namespace quernfold {

class LogSink;
class ProgressSink;
class MessageSink;
class SettingsStore;
class LogText;
class OutputTree;
class SiteFiles;

/** Warnings after which a run stops, unless the front end asks for another number. */
inline constexpr std::int64_t kDefaultMaxWarnings = 10;

/** The four choices, as the texts of the window's boxes (or the CLI's arguments), untrimmed, and how to run. */
struct ConversionChoices {
    std::string siteRoot;    // `wwwUrl`
    std::string sourceType;  // `srcType`
    std::string outputType;  // `outputType`
    std::string outputDir;   // `outputDir`
    CodePageChoice codePage = CodePageChoice::Auto;
    bool copyAssets = false;              // also copy the site's static files after the pages
    std::vector<std::string> assetTypes = {};  // their extensions (lower case, no dots); empty: the default list
    bool dropServerCode = false;  // ASP pages drop their code blocks instead of writing them back
    bool anyCaseLinks = false;    // the extension rewrite also takes other letter cases, at a word end
    // Hosts that name the machine the site ran on, beside localhost and its addresses: the report lists URLs to
    // them, which a published copy cannot reach.
    std::vector<std::string> localHosts = {};
    std::int64_t maxWarnings = kDefaultMaxWarnings;  // 0: the run never stops for warnings
    unsigned jobs = 0;  // pages converted at once; 0: one per processor online; 1: strictly one after the other
    // Converts every page, even those whose sources, includes and output file are as the last run into the same
    // output folder left them (that run's record, kept in the user's cache folder, is not read).
    bool ignoreEarlierRun = false;
    // Files the front end writes beside the pages (the CLI's --log): the run refuses to start when one would
    // replace a page of the site, a file the run includes or an output file of the run.
    std::vector<std::string> sideOutputs = {};
};

/** How a run ended, for the front ends (the CLI's exit status, the window's state). */
enum class RunOutcome {
    Refused,    // empty output folder or site root, unusable types (a message box), or a side output that is a file
                // of the site or of the run (sideOutputRefusal): nothing written
    Aborted,    // a failure outside the per-page guard (a folder that cannot be listed): no summary
    Completed,  // the summary was written (also after the stop at ten warnings)
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Refused;
    // For Completed. stopped: RunStop::User when RunState::stopRequested ended the run (summary written, no final
    // message), RunStop::Limit at the warning limit. Failed copies of static files are not warnings.
    RunCounts counts;
    std::string abortReason;  // for Aborted: names the folder and the system's reason
    std::string sideOutputRefusal;             // for Refused: which side output, and what it would replace
    std::vector<std::string> sideOutputsRead;  // side outputs the run read as includes: not to be written
};

/** The front end's side of a run: where lines, progress, message boxes and saved choices go. */
struct RunSinks {
    LogSink& log;
    ProgressSink& progress;
    MessageSink& messages;
    SettingsStore* settings = nullptr;  // null: the choices are not saved (the CLI)
    OutputTree* output = nullptr;       // null: the output folder on disk
    RunReport* report = nullptr;        // given: filled with the run's facts, broken references included
};

/**
 * One press of the start button: saves the choices, refuses a run without an output folder or site root,
 * collects the source pages, converts them in order with progress and the stop at ten warnings, writes the
 * summary and shows the final message box. The run state lives in `state` and outlasts the run. siteFiles, when
 * given, is the site to read (paths beginning with the site root's text); otherwise the disk below the site root.
 * A stop request (state.stopRequested, from any thread) abandons the page being converted, leaving nothing of it
 * on disk, and ends the run with the stop line and the summary, without the final message box.
 */
RunResult StartConversion(const ConversionChoices& choices, RunState& state, const RunSinks& sinks,
                          SiteFiles* siteFiles = nullptr);

/**
 * The save-log button: writes logText to "log.txt" in the (trimmed) output folder and tells the user how that
 * went. An empty output folder is refused like a conversion is. Returns true when the file was written.
 */
bool SaveConversionLog(const std::string& outputDirText, const std::string& logText, RunState& state,
                       MessageSink& messages);

}  // namespace quernfold
