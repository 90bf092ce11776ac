#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quernfold {

/** Identity of a file on disk (device and inode); 0/0 when unknown (files served from memory). */
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool Known() const { return device != 0 || inode != 0; }
    friend bool operator==(const FileId&, const FileId&) = default;
};

struct FileIdHash {
    std::size_t operator()(const FileId& id) const { return std::hash<std::uint64_t>()(id.inode * 31 + id.device); }
};

/** One file of the site, open for reading. */
class SourceFile {
public:
    virtual ~SourceFile() = default;
    /** Reads up to size bytes into buffer; 0 at the end of the file. Throws FileError. */
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
    /** Goes back to the first byte (after the detection pass). Throws FileError. */
    virtual void Rewind() = 0;
    virtual FileId Id() const { return {}; }
};

enum class EntryKind { Missing, File, Folder, Other };

/** How the engine reads the site: the disk in production, a set of files in memory for tests and the fuzzer. */
class SiteFiles {
public:
    virtual ~SiteFiles() = default;
    /** Opens a regular file without blocking. Throws FileError naming the system's reason. */
    virtual std::unique_ptr<SourceFile> Open(const std::string& path) = 0;
    /** What stands at path (links followed). */
    virtual EntryKind Kind(const std::string& path) = 0;
    /** The entry names of a folder ("." and ".." left out); empty when it cannot be listed. */
    virtual std::vector<std::string> ListNames(const std::string& folder) = 0;
};

}  // namespace quernfold
