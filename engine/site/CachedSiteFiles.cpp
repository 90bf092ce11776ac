#include "engine/site/CachedSiteFiles.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/text/Errors.h"
#include "engine/text/AsciiText.h"

namespace quernfold {

namespace {

constexpr std::size_t kSeenLimit = 4096;

// Reads until the end of the file or until more than limit bytes have come; returns false in the second case.
bool ReadAtMost(SourceFile& file, std::size_t limit, std::string& bytes) {
    const std::size_t expected = static_cast<std::size_t>(std::min<std::uint64_t>(file.Size().value_or(0), limit));
    bytes.resize(std::max(expected, std::min(limit, std::size_t{64} << 10)) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > limit) break;
            bytes.resize(std::min(bytes.size() * 2, limit + 1));
        }
        const std::size_t got = file.Read(bytes.data() + size, bytes.size() - size);
        if (got == 0) break;
        size += got;
    }
    bytes.resize(size);
    return size <= limit;
}

// Keeps a map of remembered answers bounded: a site of very many paths starts it afresh now and then.
template <typename Map>
void MakeRoom(Map& map) {
    if (map.size() >= CachedSiteFiles::kRememberedPaths) map.clear();
}

}  // namespace

std::size_t CachedSourceFile::Read(char* buffer, std::size_t size) {
    const std::string& bytes = m_file->bytes;
    const std::size_t count = std::min(size, bytes.size() - m_offset);
    if (count > 0) std::memcpy(buffer, bytes.data() + m_offset, count);
    m_offset += count;
    return count;
}

CachedSiteFiles::CachedSiteFiles(SiteFiles& inner, std::size_t capacity) : m_inner(inner), m_capacity(capacity) {}

EntryKind CachedSiteFiles::Kind(const std::string& path) {
    if (m_entries.count(path)) return EntryKind::File;
    if (const auto known = m_kinds.find(path); known != m_kinds.end()) return known->second;
    const EntryKind kind = m_inner.Kind(path);
    MakeRoom(m_kinds);
    m_kinds.emplace(path, kind);
    return kind;
}

std::unique_ptr<SourceFile> CachedSiteFiles::OpenAs(const std::string& path, bool page) {
    if (const auto kept = m_entries.find(path); kept != m_entries.end()) {
        m_ages.splice(m_ages.begin(), m_ages, kept->second.age);
        return std::make_unique<CachedSourceFile>(kept->second.file);
    }
    if (const auto failed = m_failures.find(path); failed != m_failures.end()) throw FileError(failed->second);
    if (m_seen.erase(path) > 0) return Load(path, page);
    // Only the paths themselves are remembered here; a site of many pages clears the set now and then, which at
    // worst delays keeping an include by one more open.
    if (m_seen.size() >= kSeenLimit) m_seen.clear();
    m_seen.insert(path);
    return OpenInner(path, page);
}

std::unique_ptr<SourceFile> CachedSiteFiles::OpenInner(const std::string& path, bool page) {
    try {
        return page ? m_inner.OpenPage(path) : m_inner.Open(path);
    } catch (const FileError& failure) {
        MakeRoom(m_failures);
        m_failures.emplace(path, failure.what());
        throw;
    }
}

std::unique_ptr<SourceFile> CachedSiteFiles::Load(const std::string& path, bool page) {
    std::unique_ptr<SourceFile> file = OpenInner(path, page);
    const std::optional<FileStamp> before = file->Stamp();
    if (!before || before->size > kLargestFile) return file;
    auto kept = std::make_shared<CachedFile>();
    if (!ReadAtMost(*file, kLargestFile, kept->bytes)) {
        file->Rewind();  // it grew past what is ever kept since it was opened: read it as any large file
        return file;
    }
    kept->stamp = *before;
    // A file that changed while it was read is served as read this once, but not kept.
    const std::optional<FileStamp> after = file->Stamp();
    const std::size_t cost = kept->bytes.size() + path.size();
    if (after && *after == *before && kept->bytes.size() == after->size && cost <= m_capacity) {
        m_ages.push_front(path);
        m_entries.emplace(path, Entry{kept, m_ages.begin()});
        m_bytes += cost;
        while (m_bytes > m_capacity) Forget(m_entries.find(m_ages.back()));
    }
    return std::make_unique<CachedSourceFile>(std::move(kept));
}

void CachedSiteFiles::Forget(std::unordered_map<std::string, Entry>::iterator entry) {
    m_bytes -= entry->second.file->bytes.size() + entry->first.size();
    m_ages.erase(entry->second.age);
    m_entries.erase(entry);
}

const CachedSiteFiles::Listing& CachedSiteFiles::ListingOf(const std::string& folder) {
    if (const auto kept = m_listings.find(folder); kept != m_listings.end()) return kept->second;
    Listing listing;
    listing.names = m_inner.ListNames(folder);
    std::size_t cost = folder.size();
    for (const std::string& name : listing.names) {
        cost += 2 * name.size() + 2;
        auto [at, added] = listing.byFoldedName.emplace(FoldAsciiCase(name), name);
        if (!added) at->second.clear();
    }
    // Past the capacity the listings start afresh: a folder is then listed once more, never without bound.
    if (m_listingBytes + cost > kListingCapacity) {
        m_listings.clear();
        m_listingBytes = 0;
    }
    m_listingBytes += cost;
    return m_listings.emplace(folder, std::move(listing)).first->second;
}

std::vector<std::string> CachedSiteFiles::ListNames(const std::string& folder) {
    return ListingOf(folder).names;
}

std::optional<std::string> CachedSiteFiles::FindIgnoringCase(const std::string& folder, std::string_view name) {
    const Listing& listing = ListingOf(folder);
    const auto found = listing.byFoldedName.find(FoldAsciiCase(name));
    if (found == listing.byFoldedName.end() || found->second.empty()) return std::nullopt;
    return found->second;
}

}  // namespace quernfold
