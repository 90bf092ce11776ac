#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/page/OutputSink.h"
#include "engine/output/PathRules.h"

namespace quernfold {

class SourceFile;
struct FileId;

enum class CopyOutcome { Copied, Unchanged };

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
     * first byte) at plan.outputPath, bytes and times kept. A file there with the source's size and modification time is left
     * alone (Unchanged); one the run reads (isReadByRun) is never replaced. Throws FileError or OutputError.
     */
    virtual CopyOutcome Copy(const OutputPathPlan& plan, SourceFile& source,
                             const std::function<bool(const FileId&)>& isReadByRun) = 0;
    /** Removes the folders the last Create made, deepest first, for a page that was abandoned (a stop request). */
    virtual void RemoveFoldersMadeForLastPage() noexcept {}
};

}  // namespace quernfold
