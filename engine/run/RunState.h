#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace quernfold {

/** The state a conversion run shares between its steps; it outlasts the run (the save-log button reads it). */
struct RunState {
    std::vector<std::string> fileList;
    std::int64_t fileCount = 0;
    std::int64_t failCount = 0;
    std::int64_t warningCount = 0;
    std::int64_t pageDepth = 0;  // nesting depth of the page being expanded; the source page runs at 1
    std::string outputRoot;      // ends in the separator
    std::string siteRoot;        // ends in the separator
    std::string srcExt;          // the trimmed source type
    // Set by the front end (a button, a signal) from any thread; the run stops at the next check. The front end
    // clears it before it starts a run, so a request that comes while the run is starting is not lost.
    std::atomic<bool> stopRequested{false};

    // The only places the counts grow: every warning line is one warning, and every failed page is a failure and
    // a warning, whether the expander already logged its warning or the page failed around it.
    void CountWarning() { ++warningCount; }
    void CountFailedPage(bool warningLogged) {
        ++failCount;
        if (!warningLogged) ++warningCount;
    }
};

}  // namespace quernfold
