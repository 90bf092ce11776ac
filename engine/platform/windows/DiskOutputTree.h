#pragma once

#include <string>
#include <vector>

#include "engine/output/OutputTree.h"
#include "engine/platform/windows/Handle.h"

namespace quernfold {

/**
 * The output folder on a Windows disk. Each output folder of the current page is held open without delete
 * sharing, from the output root down, so none can be renamed or swapped for a junction while its pages are
 * written; a junction or symbolic link found standing at an output folder fails the page and is never followed.
 */
class DiskOutputTree : public OutputTree {
public:
    explicit DiskOutputTree(std::string outputRoot);

    std::unique_ptr<PageOutput> Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) override;
    CopyOutcome Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) override;
    void RemoveFoldersMadeForLastPage() noexcept override;

private:
    struct OpenFolder {
        std::string path;
        Handle handle;
    };
    void OpenFolders(const OutputPathPlan& plan);
    Handle OpenChild(const std::string& folder, bool& made);

    std::string m_outputRoot;
    std::vector<std::size_t> m_madeForLastPage;
    std::vector<OpenFolder> m_chain;  // [0] the output root, then one folder per level of the last page
};

}  // namespace quernfold
