#pragma once

#include <map>
#include <string>

#include "engine/SiteFiles.h"

namespace quernfold {

/**
 * A site held in memory: file paths to contents, folders implied by the paths. For tests and the fuzzer, so the
 * expander can be driven through cycles, "../" and deep nesting without touching the disk.
 */
class MemorySiteFiles : public SiteFiles {
public:
    explicit MemorySiteFiles(char separator = '/') : m_separator(separator) {}

    void Add(std::string path, std::string content) { m_files[std::move(path)] = std::move(content); }

    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    std::vector<std::string> ListNames(const std::string& folder) override;

    /** How often each path was opened, for tests of what was (not) read. */
    int OpenCount(const std::string& path) const;

private:
    char m_separator;
    std::map<std::string, std::string> m_files;
    std::map<std::string, int> m_opens;
};

}  // namespace quernfold
