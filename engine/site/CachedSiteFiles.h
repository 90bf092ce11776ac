#pragma once

#include <array>
#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/text/CodePage.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

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
    std::optional<FileStamp> OpenedStamp() const override { return m_file->stamp; }
    std::optional<std::uint64_t> Size() const override { return m_file->bytes.size(); }
    const std::string* HeldBytes() const override { return &m_file->bytes; }
    std::optional<DetectedCodePage>* DetectedSlot(CodePageChoice choice) override {
        return &m_file->detected[static_cast<std::size_t>(choice)];
    }

private:
    std::shared_ptr<CachedFile> m_file;  // shared, so eviction during a nested expansion cannot pull it away
    std::size_t m_offset = 0;
};

/**
 * The site as one run sees it: a snapshot taken as the run goes. What stands at a path, a folder's names and the
 * failure to open a file are each asked of the inner files once per run and remembered; so are the bytes of a
 * file opened a second time (the header every page includes), which later opens serve without looking at the
 * disk again. Pages are opened once, so they never push the includes out. A file that changed while it was read
 * (its stamp from the inner files differs before and after) is served as read this once but not kept. Files
 * larger than kLargestFile are never kept, and the kept bytes stay under the capacity, the least recently opened
 * going first. Nothing is kept from one run to the next: each run makes its own.
 */
class CachedSiteFiles : public SiteFiles {
public:
    static constexpr std::size_t kDefaultCapacity = std::size_t{16} << 20;
    static constexpr std::size_t kLargestFile = std::size_t{1} << 20;
    static constexpr std::size_t kListingCapacity = std::size_t{8} << 20;  // bytes of names, kept apart
    static constexpr std::size_t kRememberedPaths = 65536;                // kinds and failures, each

    explicit CachedSiteFiles(SiteFiles& inner, std::size_t capacity = kDefaultCapacity);

    std::unique_ptr<SourceFile> Open(const std::string& path) override { return OpenAs(path, false); }
    std::unique_ptr<SourceFile> OpenPage(const std::string& path) override { return OpenAs(path, true); }
    EntryKind Kind(const std::string& path) override;
    std::vector<std::string> ListNames(const std::string& folder) override;
    std::optional<std::string> FindIgnoringCase(const std::string& folder, std::string_view name) override;
    FolderListing ListFolder(const std::string& folder) override { return m_inner.ListFolder(folder); }

    /** Bytes of files held now, never more than the capacity. */
    std::size_t CachedBytes() const { return m_bytes; }
    std::size_t CachedFiles() const { return m_entries.size(); }

private:
    struct Entry {
        std::shared_ptr<CachedFile> file;
        std::list<std::string>::iterator age;  // place in m_ages
    };
    /** A folder's names by their lower-cased form; an empty value marks two names that differ only in case. */
    struct Listing {
        std::vector<std::string> names;
        std::unordered_map<std::string, std::string> byFoldedName;
    };

    const Listing& ListingOf(const std::string& folder);
    std::unique_ptr<SourceFile> OpenAs(const std::string& path, bool page);
    std::unique_ptr<SourceFile> Load(const std::string& path, bool page);
    std::unique_ptr<SourceFile> OpenInner(const std::string& path, bool page);
    void Forget(std::unordered_map<std::string, Entry>::iterator entry);

    SiteFiles& m_inner;
    std::size_t m_capacity;
    std::size_t m_bytes = 0;
    std::unordered_map<std::string, Entry> m_entries;
    std::list<std::string> m_ages;           // most recently opened first
    std::unordered_set<std::string> m_seen;  // opened once and not kept (yet); cleared when it grows too big
    std::unordered_map<std::string, EntryKind> m_kinds;
    std::unordered_map<std::string, std::string> m_failures;  // path -> why it cannot be opened
    std::unordered_map<std::string, Listing> m_listings;
    std::size_t m_listingBytes = 0;
};

}  // namespace quernfold
