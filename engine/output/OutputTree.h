#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/page/OutputSink.h"
#include "engine/output/PathRules.h"
#include "engine/text/Errors.h"

namespace quernfold {

class SourceFile;
struct FileId;

enum class CopyOutcome {
    Copied,
    Unchanged,
    NotReplaced,  // a file of the site or one the run reads stands at the output path: it is left as it is
};

/** What a copy must respect besides the bytes. */
struct CopyRules {
    std::function<bool(const FileId&)> mayNotReplace;  // files of the site and files the run reads
    const std::atomic<bool>* stopRequested = nullptr;  // seen within a file (at least every 64 MiB): RunStopped
};

/**
 * Where a run puts its pages: makes the output folders a page needs and opens the page's output there. The disk
 * in production; an in-memory tree in tests, so the run's rules can be checked without a file system.
 */
class OutputTree {
public:
    virtual ~OutputTree() = default;
    /**
     * Makes the missing folders of plan (top down; a link standing at one fails the page, it is never followed)
     * and opens plan.outputPath for writing. Throws FileError or OutputError with the reason.
     */
    virtual std::unique_ptr<PageOutput> Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) = 0;
    /**
     * Makes the missing folders of plan as Create does and puts a copy of the static file source (open at its
     * first byte) at plan.outputPath: its bytes as large as it was when opened, holes and times kept. A file there
     * with the source's size and modification time (at the precision the output keeps) is left alone
     * (Unchanged); one that rules.mayNotReplace is never replaced (NotReplaced). A stop request abandons the copy
     * (RunStopped), leaving nothing of it. Throws FileError or OutputError.
     */
    virtual CopyOutcome Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) = 0;
    /**
     * A page's output written ahead of its turn, on any thread: a file with bytes in it and no name in the tree
     * yet, gone without a trace when dropped. nullptr where the tree cannot hold such files (the page is then
     * written at its turn). Throws OutputError.
     */
    virtual std::unique_ptr<PageOutput> WriteAhead(std::string_view bytes) {
        (void)bytes;
        return nullptr;
    }
    /**
     * Makes the missing folders of plan as Create does and gives a file from WriteAhead the name plan.outputPath,
     * taken when it is published. Throws FileError or OutputError as Create does.
     */
    virtual std::unique_ptr<PageOutput> Place(std::unique_ptr<PageOutput> ahead, const OutputPathPlan& plan) {
        (void)ahead;
        (void)plan;
        throw OutputError("no file was written ahead");
    }
    /** Removes the folders the last Create made, deepest first, for a page that was abandoned (a stop request). */
    virtual void RemoveFoldersMadeForLastPage() noexcept {}
};

}  // namespace quernfold
