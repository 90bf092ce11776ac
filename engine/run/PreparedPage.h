#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/Errors.h"
#include "engine/page/LinkScanningOutput.h"
#include "engine/page/PageExpander.h"
#include "engine/page/ReadTrace.h"
#include "engine/page/OutputSink.h"
#include "engine/output/OutputTree.h"
#include "engine/site/SiteFiles.h"
#include "engine/log/Sinks.h"

namespace quernfold {

/**
 * A source page converted ahead of its turn: its output bytes and the log lines its expansion wrote, each line
 * with the output offset it was written at, so the page can be published later exactly as if it were converted
 * then. Its bytes may also be in a file written ahead in the output tree, with no name there until the page is
 * published, so a page that is never published leaves nothing behind.
 */
struct PreparedPage {
    enum class State {
        Ready,     // bytes and lines are complete
        Deferred,  // not held in memory (too large output, or a failure of the worker): converted in its turn
        Stopped,   // a stop request came during the expansion
    };
    struct Line {
        std::size_t outputOffset = 0;  // output bytes written before the line was logged
        std::int64_t warnings = 0;     // the page's warnings counted up to and including this line
        std::string text;
    };

    State state = State::Ready;
    std::string bytes;                    // emptied once they are in file
    std::uint64_t size = 0;               // the page's output bytes, wherever they are
    std::vector<Line> lines;
    std::int64_t warnings = 0;            // all of the page's warnings
    std::optional<std::string> failure;  // the page's own expansion failed (its warning is among the lines)
    std::vector<FileId> filesRead;        // every file the expansion read, for the checks at publishing
    std::vector<std::string> namedTargets;  // fragments named by directives but not expanded
    std::vector<PathReason> pageWarnings;  // the page's warnings as data, for the report
    std::vector<PageLink> links;           // the page's local references, when the preparer notes them
    ReadTrace trace;                       // what the expansion depended on, for the next run's record
    std::unique_ptr<PageOutput> file;      // the bytes written ahead (not for a failed page), or none
};

/** Output held in memory up to a limit; past it, writes throw TooLarge. */
class BoundedMemoryOutput : public OutputSink {
public:
    /** Passes through the expander like any failed write, so the expansion ends at once. */
    class TooLarge : public OutputError {
    public:
        TooLarge() : OutputError("the page is converted when its turn comes") {}
    };

    BoundedMemoryOutput(std::string& bytes, std::size_t limit) : m_bytes(bytes), m_limit(limit) {}
    void Write(std::string_view bytes) override {
        if (bytes.size() > m_limit - m_bytes.size()) throw TooLarge();
        m_bytes.append(bytes);
    }

private:
    std::string& m_bytes;
    std::size_t m_limit;
};

/**
 * One worker's means of converting pages ahead: its own view of the site (files and cache), run state and
 * expander, so workers share nothing but the stop request. Each page starts with the warning count at 0.
 */
class PagePreparer {
public:
    /**
     * site: the worker's own view of the site, its paths beginning with siteRoot; output, when given: where the
     * bytes of a page converted without failure are written ahead (shared by the workers).
     */
    PagePreparer(const ExpanderSettings& settings, std::unique_ptr<SiteFiles> site, const std::string& siteRoot,
                 std::size_t cacheCapacity, std::size_t outputLimit, bool noteLinks = false,
                 OutputTree* output = nullptr);
    ~PagePreparer();
    PagePreparer(const PagePreparer&) = delete;
    PagePreparer& operator=(const PagePreparer&) = delete;

    PreparedPage Prepare(const std::string& path);

private:
    class Recorder;

    std::size_t m_outputLimit;
    bool m_noteLinks;
    OutputTree* m_output;
    ExpansionContext m_context;
    std::unique_ptr<SiteFiles> m_files;
    std::unique_ptr<SiteFiles> m_cachedFiles;
    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<PageExpander> m_expander;
    ReadTrace m_trace;
};

}  // namespace quernfold
