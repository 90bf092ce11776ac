#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/CodePage.h"
#include "engine/SiteFiles.h"

namespace quernfold {

/** What a file looked like when its bytes were kept: a kept copy serves only while all of this is unchanged. */
struct FileStamp {
    FileId id;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;  // also moves on chmod, so a file made unreadable is opened (and refused) again
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

/** The stamp of the regular file (or, with folder, the folder) at path, links followed; nullopt otherwise. */
std::optional<FileStamp> StampOf(const std::string& path, bool folder = false);

/** The bytes of one kept file, with what the expander decided about them, per code page choice. */
struct CachedFile {
    FileStamp stamp;
    std::string bytes;
    std::array<std::optional<DetectedCodePage>, 6> detected;  // indexed by CodePageChoice
};

/** A file served from the cache. The expander reads its bytes in place and keeps its detected code page there. */
class CachedSourceFile : public SourceFile {
public:
    explicit CachedSourceFile(std::shared_ptr<CachedFile> file) : m_file(std::move(file)) {}

    std::size_t Read(char* buffer, std::size_t size) override;
    void Rewind() override { m_offset = 0; }
    FileId Id() const override { return m_file->stamp.id; }

    const std::string& Bytes() const { return m_file->bytes; }
    std::optional<DetectedCodePage>& Detected(CodePageChoice choice) {
        return m_file->detected[static_cast<std::size_t>(choice)];
    }

private:
    std::shared_ptr<CachedFile> m_file;  // shared, so eviction during a nested expansion cannot pull it away
    std::size_t m_offset = 0;
};

/**
 * Keeps the files a run opens again and again (the header every page includes) in memory, so each is read from
 * disk once. A file is kept from its second open on: pages are opened once, so they never push the includes out,
 * and they cost nothing more than before. Each later open looks at the file again (one stat) and serves the kept
 * bytes only while its identity, size, modification and change times are as they were; otherwise the file is
 * read afresh. A file changed within the last `settle` before it was read is not kept, since a second change in
 * the same tick of the file system's clock would leave its times as they were. Files larger than kLargestFile are
 * never kept, and the kept bytes stay under the capacity, the least recently opened going first.
 *
 * The include look-up asks Kind before it opens a file, so Kind of a kept file makes that stat, and the Open that
 * follows it directly uses its answer. The folder listings of the look-up that ignores letter case are kept the
 * same way, checked against the folder's stamp (an entry added, removed or renamed moves its times).
 */
class CachedSiteFiles : public SiteFiles {
public:
    static constexpr std::size_t kDefaultCapacity = std::size_t{16} << 20;
    static constexpr std::size_t kLargestFile = std::size_t{1} << 20;
    static constexpr std::size_t kListingCapacity = std::size_t{1} << 20;  // bytes of names, kept apart
    static constexpr std::chrono::nanoseconds kDefaultSettle = std::chrono::seconds(1);

    explicit CachedSiteFiles(SiteFiles& inner, std::size_t capacity = kDefaultCapacity,
                             std::chrono::nanoseconds settle = kDefaultSettle);

    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override;
    std::vector<std::string> ListNames(const std::string& folder) override;

    /** Bytes of files held now, never more than the capacity. */
    std::size_t CachedBytes() const { return m_bytes; }
    std::size_t CachedFiles() const { return m_entries.size(); }

private:
    struct Entry {
        std::shared_ptr<CachedFile> file;
        std::list<std::string>::iterator age;  // place in m_ages
    };
    struct Listing {
        FileStamp stamp;
        std::vector<std::string> names;
    };
    static constexpr std::size_t kSeenLimit = 4096;

    std::unique_ptr<SourceFile> Load(const std::string& path);
    std::unique_ptr<SourceFile> Serve(const Entry& entry);
    void Forget(std::unordered_map<std::string, Entry>::iterator entry);
    bool Settled(const FileStamp& stamp) const;

    SiteFiles& m_inner;
    std::size_t m_capacity;
    std::chrono::nanoseconds m_settle;
    std::size_t m_bytes = 0;
    std::unordered_map<std::string, Entry> m_entries;
    std::list<std::string> m_ages;           // most recently opened first
    std::unordered_set<std::string> m_seen;  // opened once and not kept (yet); cleared when it grows too big
    // A kept file Kind has just found unchanged, for the Open after it (elements of m_entries stay in place).
    const std::pair<const std::string, Entry>* m_checked = nullptr;
    std::unordered_map<std::string, Listing> m_listings;
    std::size_t m_listingBytes = 0;
};

}  // namespace quernfold
