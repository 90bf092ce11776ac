#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/output/OutputTree.h"
#include "engine/page/LinkScanningOutput.h"
#include "engine/page/PageExpander.h"
#include "engine/report/RunReport.h"
#include "engine/run/HeldLog.h"
#include "engine/run/OverlapGuard.h"
#include "engine/run/PreparedPage.h"
#include "engine/run/RunPlan.h"
#include "engine/run/RunState.h"
#include "engine/run/UnchangedPages.h"

namespace quernfold {

class LinkCheck;

/**
 * Publishes the run's pages one by one, in list order: a page converted ahead by a worker is replayed (its bytes
 * and log lines as its expansion made them), any other is expanded now; either way its output is published whole
 * or not at all, its result line logged and its facts recorded for the report.
 */
class PagePublisher {
public:
    struct Parts {
        RunState& state;
        RunPlan& plan;
        OutputTree& output;
        PageExpander& expander;
        HeldLog& pageLog;  // the expander's log: the page's lines are held until it has its result
        OverlapGuard& overlap;
        RunReport* report = nullptr;
        LinkCheck* links = nullptr;
        // Given: pages the last run left unchanged may keep their output, and this run's record is kept here.
        UnchangedPages* unchanged = nullptr;
        // With a report: the references of a page kept from the last run, collected again.
        std::function<std::vector<PageLink>(std::size_t)> linksAgain = {};
    };

    explicit PagePublisher(Parts parts);

    /**
     * Converts page index: prepared when a worker converted it ahead (its file written ahead, if any, is taken
     * from it), else by expanding it now. A stop request abandons the page: no file, no temporary file and no
     * folder of it stays, and RunStopped passes.
     */
    void Publish(std::size_t index, PreparedPage* prepared);

    /**
     * Publishes page index, which the last run left unchanged (its output file stays as it is), exactly as a
     * conversion would log and record it. False, with nothing done, when its output path is taken by an earlier
     * page of this run: it is then converted as any other page.
     */
    bool PublishKept(std::size_t index);

    /** Whether the run has read id: a page, or a file a page included (here or on a worker). */
    bool IsReadByRun(const FileId& id) const;
    /** Whether a page of the run has outputPath: nullopt when none has, else whether it was converted. */
    std::optional<bool> PageWithOutput(const std::string& outputPath) const;
    /** The files the pages the workers converted read. */
    const std::unordered_set<FileId, FileIdHash>& FilesReadAhead() const { return m_filesReadAhead; }
    /** The fragments directives named without expanding them (here or on a worker): never to be published. */
    std::vector<std::string> NamedTargets() const;

private:
    void PublishHeld(std::size_t index, const OutputPathPlan& plan, PreparedPage* prepared);
    std::unique_ptr<PageOutput> PlaceWrittenAhead(const OutputPathPlan& plan, PreparedPage* prepared);
    std::optional<std::string> Replay(const PreparedPage& page, OutputSink* out);
    void Record(std::size_t index, const std::string& output, std::optional<std::string> failure,
                std::vector<PathReason> warnings, const std::vector<PageLink>* links, bool failureIsWarning = false);
    std::vector<PathReason> PageWarnings(const PreparedPage* prepared) const;
    void NoteConverted(std::size_t index, const PageOutput& out, std::uint64_t size, const PreparedPage* prepared);

    Parts m_parts;
    std::unordered_set<std::string> m_namedAhead;  // named, not expanded, by pages the workers converted
    std::vector<std::size_t> m_failed;             // the pages that failed, in list order
    std::unordered_set<FileId, FileIdHash> m_filesReadAhead;  // read by pages the workers converted or kept
    ReadTrace m_trace;  // what the page expanded here depended on
};

}  // namespace quernfold
