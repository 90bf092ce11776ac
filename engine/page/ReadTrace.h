#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * What one source page's expansion depended on: every file it opened, with the stamp it had when opened, and
 * every include target it looked up, with what the lookup found. The same answers and the same files later mean
 * the same output, so a re-run may keep the page's earlier output.
 */
struct ReadTrace {
    struct Opened {
        std::string path;
        FileStamp stamp;
        friend bool operator==(const Opened&, const Opened&) = default;
    };
    /** The inputs of one include lookup (as the expander gives them) and its answer. */
    struct Lookup {
        std::string resolved;  // the target as spelled, resolved against the page's folder
        std::string cleaned;   // the target in the page's own code page
        bool tryRaw = false;   // the raw spelling is tried when the spelled one is not found
        std::string pageDir;
        std::optional<std::string> found;
        friend bool operator==(const Lookup&, const Lookup&) = default;
    };

    std::vector<Opened> opened;
    std::vector<Lookup> lookups;
    bool doubtful = false;    // a file without a stamp was read: nothing can tell whether it changed
    std::int64_t startedNs = 0;  // when the expansion started (every file was read after it)

    /** Starts afresh for an expansion that starts now. */
    void Start() {
        opened.clear();
        lookups.clear();
        doubtful = false;
        startedNs = NowNs();
    }

    /** Now, in nanoseconds since the epoch, as file times count. */
    static std::int64_t NowNs() {
        using namespace std::chrono;
        return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    }
};

}  // namespace quernfold
