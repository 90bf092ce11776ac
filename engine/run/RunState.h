#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/page/ExpansionContext.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * The state a conversion run shares between its steps; it outlasts the run (the save-log button reads it). The
 * expander sees only its part of it: the site root, the page depth and the warning count.
 */
struct RunState : ExpansionContext {
    std::vector<std::string> fileList;
    std::int64_t fileCount = 0;
    std::int64_t failCount = 0;
    std::string outputRoot;      // ends in the separator
    std::string srcExt;          // the trimmed source type
    // Set by the front end (a button, a signal) from any thread; the run stops at the next check. The front end
    // clears it before it starts a run, so a request that comes while the run is starting is not lost.
    std::atomic<bool> stopRequested{false};

    // What the last run owns, for the save-log button, which never replaces one of these with "log.txt": the
    // identities of its pages and includes, and whether "log.txt" in its output folder is one of its output
    // paths (a page's, or a static file's and its copy).
    struct LastRun {
        std::unordered_set<FileId, FileIdHash> filesRead;
        std::optional<FileId> outputRoot;
        bool logTxtIsOutputPath = false;
    };
    std::shared_ptr<const LastRun> lastRun;

    // With CountWarning, the only places the counts grow: every failed page is a failure and a warning, whether
    // the expander already logged its warning or the page failed around it.
    void CountFailedPage(bool warningLogged) {
        ++failCount;
        if (!warningLogged) ++warningCount;
    }
};

}  // namespace quernfold
