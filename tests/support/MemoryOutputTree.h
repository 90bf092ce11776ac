#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "engine/output/OutputTree.h"

namespace quernfold {

/**
 * An output tree in memory for tests: published pages by path, the folders made, and faults on demand (a disk
 * that fills after so many bytes, a link standing at a folder).
 */
class MemoryOutputTree : public OutputTree {
public:
    std::unique_ptr<PageOutput> Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) override;
    /** Copies the bytes; a file with the same bytes already there is Unchanged (there are no times here). */
    CopyOutcome Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) override;

    /** A write larger than what is left of this many bytes (across pages) fails as on a full disk. */
    void FillAfter(std::uint64_t bytes) { m_space = bytes; }
    /** A link stands at this folder path: pages below it fail. */
    void PlantLinkAt(const std::string& folder) { m_links.insert(folder); }
    /** A file that stood at path before the run (an earlier run's page). */
    void Put(const std::string& path, std::string bytes) { m_files[path] = std::move(bytes); }

    const std::map<std::string, std::string>& Files() const { return m_files; }
    const std::set<std::string>& Folders() const { return m_folders; }
    /** Pages opened and neither published nor thrown away yet. */
    int OpenPages() const { return m_open; }

private:
    friend class MemoryPageOutput;
    void MakeFolders(const OutputPathPlan& plan);
    std::map<std::string, std::string> m_files;
    std::set<std::string> m_folders;
    std::set<std::string> m_links;
    std::uint64_t m_space = UINT64_MAX;
    std::uint64_t m_nextInode = 1;
    int m_open = 0;
};

}  // namespace quernfold
