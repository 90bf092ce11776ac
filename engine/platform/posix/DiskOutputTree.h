#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/output/OutputTree.h"

namespace quernfold {

/**
 * The output folder on disk. Each output folder is opened once (never through a link) and kept open while the
 * pages of its folder are written; a page's file is made and put in place relative to its folder's descriptor,
 * so no path is looked up again per page and a link swapped in for a folder after it was opened changes nothing.
 * Pages and static files come folder by folder (a folder's files, then its sub-folders), so the open folders
 * form one chain from the output root down.
 */
class DiskOutputTree : public OutputTree {
public:
    explicit DiskOutputTree(std::string outputRoot);
    ~DiskOutputTree() override;
    DiskOutputTree(const DiskOutputTree&) = delete;
    DiskOutputTree& operator=(const DiskOutputTree&) = delete;

    std::unique_ptr<PageOutput> Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) override;
    CopyOutcome Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) override;
    std::unique_ptr<PageOutput> WriteAhead(std::string_view bytes) override;
    std::unique_ptr<PageOutput> Place(std::unique_ptr<PageOutput> ahead, const OutputPathPlan& plan) override;
    void RemoveFoldersMadeForLastPage() noexcept override;

private:
    struct OpenFolder {
        std::string path;
        int fd = -1;
        std::optional<std::uint64_t> device;  // looked up when a file written ahead is first placed there
    };
    // Opens (making what is missing) the folders of plan; returns the descriptor of the deepest.
    int OpenFolders(const OutputPathPlan& plan);
    void CloseFrom(std::size_t depth);
    int OpenChild(int parentFd, const std::string& folder, bool& made);

    std::string m_outputRoot;
    std::vector<std::size_t> m_madeForLastPage;  // depths in m_chain of the folders the last Create made
    std::vector<OpenFolder> m_chain;             // [0] the output root, then one folder per level of the last page
    // The output root as the workers write into it: opened once, by the first of them, and kept open.
    std::once_flag m_aheadOpened;
    int m_aheadFd = -1;
};

}  // namespace quernfold
