#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * A site held in memory: file paths to contents, folders implied by the paths. For tests and the fuzzer, so the
 * expander can be driven through cycles, "../" and deep nesting without touching the disk.
 */
class MemorySiteFiles : public SiteFiles {
public:
    explicit MemorySiteFiles(char separator = '/') : m_separator(separator) {}

    /** Adds or replaces a file; a replaced file gets a new stamp. */
    void Add(std::string path, std::string content);

    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    std::vector<std::string> ListNames(const std::string& folder) override;

    /** How often each path was opened, and each folder listed, for tests of what was (not) read. */
    int OpenCount(const std::string& path) const;
    int ListCount(const std::string& folder) const;
    /** Bytes handed out by reads of all files so far. */
    std::uint64_t BytesRead() const { return m_bytesRead; }

private:
    struct Content {
        std::string bytes;
        std::int64_t version = 0;
        std::uint64_t inode = 0;  // the file's identity, kept when it is replaced
    };
    char m_separator;
    std::map<std::string, Content> m_files;
    std::map<std::string, int> m_opens;
    std::map<std::string, int> m_listings;
    std::uint64_t m_bytesRead = 0;
    std::int64_t m_versions = 0;
};

}  // namespace quernfold
