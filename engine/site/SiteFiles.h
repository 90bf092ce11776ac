#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/CodePage.h"

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

/** What a file looked like at one moment: two equal stamps around a read mean it did not change meanwhile. */
struct FileStamp {
    FileId id;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

/** When a file was last read and last written, in nanoseconds since the epoch: what a copy keeps. */
struct FileTimes {
    std::int64_t accessedNs = 0;
    std::int64_t modifiedNs = 0;
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
    /** The size when it was opened, when known: a reader can ask for all of a small file at once. */
    virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }
    /** The file's stamp now; nullopt when it cannot be told (then a kept copy is never trusted). */
    virtual std::optional<FileStamp> Stamp() const { return std::nullopt; }
    /** The stamp the file had when it was opened (what was read is what it held then); by default Stamp(). */
    virtual std::optional<FileStamp> OpenedStamp() const { return Stamp(); }
    /** The whole file when it is held in memory, to be read in place; null otherwise. */
    virtual const std::string* HeldBytes() const { return nullptr; }
    /** Where the code page found for a held file is kept for later readers; null when the file is not held. */
    virtual std::optional<DetectedCodePage>* DetectedSlot(CodePageChoice) { return nullptr; }
    /** The times the file had when it was opened, when known (a static file's copy keeps them). */
    virtual std::optional<FileTimes> Times() const { return std::nullopt; }
    /**
     * The platform's handle of the open file, for the platform's own copy of it (through the kernel where it
     * can); -1 when there is none (a file served from memory), and then the copy reads through Read.
     */
    virtual std::intptr_t NativeHandle() const { return -1; }
};

enum class EntryKind { Missing, File, Folder, Other };

/** One entry of a folder, as the walk needs it: the kind links lead to, and the identity where it is known. */
struct FolderEntry {
    std::string name;
    EntryKind kind = EntryKind::Missing;
    FileId id;
    // For a link: the path ('/'-separated, below the site root) of what it leads to, so the rules that keep files
    // from the web judge that as well as the link's own name. Empty for anything else, or when it is not known.
    std::string linkTarget;
};

/** A folder's entries ("." and ".." left out, links that lead out of the site left out) and its own identity. */
struct FolderListing {
    FileId id;
    std::vector<FolderEntry> entries;
};

/** How the engine reads the site: the disk in production, a set of files in memory for tests and the fuzzer. */
class SiteFiles {
public:
    virtual ~SiteFiles() = default;
    /**
     * Opens a regular file without blocking; anything else (a folder, a device, a FIFO) is refused before it is
     * opened. Throws FileError naming the system's reason.
     */
    virtual std::unique_ptr<SourceFile> Open(const std::string& path) = 0;
    /**
     * Opens a file the walk listed as a regular file (a page or a static file): it may be opened (without
     * blocking) before its type is looked at, which saves the look before the open. Throws FileError as Open does.
     */
    virtual std::unique_ptr<SourceFile> OpenPage(const std::string& path) { return Open(path); }
    /** The identity of the file at path (links followed, contained as Open is); nullopt when there is none. */
    virtual std::optional<FileId> IdOf(const std::string& path);
    /** What stands at path (links followed). */
    virtual EntryKind Kind(const std::string& path) = 0;
    /** The entry names of a folder ("." and ".." left out); empty when it cannot be listed. */
    virtual std::vector<std::string> ListNames(const std::string& folder) = 0;
    /**
     * The one entry of folder whose name equals name ignoring ASCII letter case; nullopt when there is none, or
     * more than one (a.jsp and A.JSP side by side). This default lists the folder each time.
     */
    virtual std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view name);
    /**
     * The entries of folder with their kinds, for the walk. Throws FileError naming the system's reason when the
     * folder cannot be listed or an entry cannot be examined. This default asks Kind of every name.
     */
    virtual FolderListing ListFolder(const std::string& folder);
};

}  // namespace quernfold
