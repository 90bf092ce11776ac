#include "engine/CachedSiteFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <utility>

namespace quernfold {

namespace {

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Reads until the end of the file or until more than limit bytes have come; returns false in the second case.
bool ReadAtMost(SourceFile& file, std::size_t limit, std::string& bytes) {
    bytes.resize(std::min(limit, std::size_t{64} << 10) + 1);
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

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path, bool folder) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) return std::nullopt;
    return FileStamp{{static_cast<std::uint64_t>(info.st_dev), info.st_ino},
                     static_cast<std::uint64_t>(info.st_size),
                     Nanoseconds(info.st_mtim),
                     Nanoseconds(info.st_ctim)};
}

std::size_t CachedSourceFile::Read(char* buffer, std::size_t size) {
    const std::string& bytes = m_file->bytes;
    const std::size_t count = std::min(size, bytes.size() - m_offset);
    if (count > 0) std::memcpy(buffer, bytes.data() + m_offset, count);
    m_offset += count;
    return count;
}

CachedSiteFiles::CachedSiteFiles(SiteFiles& inner, std::size_t capacity, std::chrono::nanoseconds settle)
    : m_inner(inner), m_capacity(capacity), m_settle(settle) {}

bool CachedSiteFiles::Settled(const FileStamp& stamp) const {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::max(stamp.modifiedNs, stamp.changedNs) + m_settle.count() <= Nanoseconds(now);
}

EntryKind CachedSiteFiles::Kind(const std::string& path) {
    m_checked = nullptr;
    const auto kept = m_entries.find(path);
    if (kept == m_entries.end()) return m_inner.Kind(path);
    const std::optional<FileStamp> now = StampOf(path);
    if (!now || !(*now == kept->second.file->stamp)) return m_inner.Kind(path);
    m_checked = &*kept;
    return EntryKind::File;
}

std::unique_ptr<SourceFile> CachedSiteFiles::Open(const std::string& path) {
    const auto* checked = std::exchange(m_checked, nullptr);
    if (checked && checked->first == path) return Serve(checked->second);
    if (const auto kept = m_entries.find(path); kept != m_entries.end()) {
        const std::optional<FileStamp> now = StampOf(path);
        if (now && *now == kept->second.file->stamp) return Serve(kept->second);
        Forget(kept);
        return Load(path);
    }
    if (m_seen.erase(path) > 0) return Load(path);
    // Only the paths themselves are remembered here; a site of many pages clears the set now and then, which at
    // worst delays keeping an include by one more open.
    if (m_seen.size() >= kSeenLimit) m_seen.clear();
    m_seen.insert(path);
    return m_inner.Open(path);
}

std::unique_ptr<SourceFile> CachedSiteFiles::Load(const std::string& path) {
    const std::optional<FileStamp> before = StampOf(path);
    // Whatever cannot be kept is opened as usual, which also gives the usual failure for a missing file, a folder
    // or a FIFO.
    if (!before || before->size > kLargestFile) return m_inner.Open(path);
    std::unique_ptr<SourceFile> file = m_inner.Open(path);
    auto kept = std::make_shared<CachedFile>();
    if (!ReadAtMost(*file, kLargestFile, kept->bytes)) {
        file->Rewind();  // it grew past what is ever kept since the stat: read it as any large file
        return file;
    }
    kept->stamp = *before;
    kept->stamp.id = file->Id();
    // A file that changed while it was read, or just before, is served as read this once, but not kept.
    const std::optional<FileStamp> after = StampOf(path);
    const std::size_t cost = kept->bytes.size() + path.size();
    if (after && *after == kept->stamp && kept->bytes.size() == after->size && cost <= m_capacity && Settled(*after)) {
        m_ages.push_front(path);
        m_entries.emplace(path, Entry{kept, m_ages.begin()});
        m_bytes += cost;
        while (m_bytes > m_capacity) Forget(m_entries.find(m_ages.back()));
    }
    return std::make_unique<CachedSourceFile>(std::move(kept));
}

std::unique_ptr<SourceFile> CachedSiteFiles::Serve(const Entry& entry) {
    m_ages.splice(m_ages.begin(), m_ages, entry.age);
    return std::make_unique<CachedSourceFile>(entry.file);
}

void CachedSiteFiles::Forget(std::unordered_map<std::string, Entry>::iterator entry) {
    m_checked = nullptr;
    m_bytes -= entry->second.file->bytes.size() + entry->first.size();
    m_ages.erase(entry->second.age);
    m_entries.erase(entry);
}

std::vector<std::string> CachedSiteFiles::ListNames(const std::string& folder) {
    m_checked = nullptr;
    // The working folder ("") is never kept: it is not where a site's includes live.
    const std::optional<FileStamp> before = folder.empty() ? std::nullopt : StampOf(folder, true);
    if (!before) return m_inner.ListNames(folder);
    if (const auto kept = m_listings.find(folder); kept != m_listings.end()) {
        if (kept->second.stamp == *before) return kept->second.names;
        for (const std::string& name : kept->second.names) m_listingBytes -= name.size() + 1;
        m_listingBytes -= folder.size();
        m_listings.erase(kept);
    }
    std::vector<std::string> names = m_inner.ListNames(folder);
    const std::optional<FileStamp> after = StampOf(folder, true);
    if (!after || !(*after == *before) || !Settled(*after)) return names;
    std::size_t cost = folder.size();
    for (const std::string& name : names) cost += name.size() + 1;
    if (cost > kListingCapacity / 4) return names;  // a huge folder: rare in look-ups, and not worth the memory
    if (m_listingBytes + cost > kListingCapacity) {
        m_listings.clear();
        m_listingBytes = 0;
    }
    m_listings.emplace(folder, Listing{*after, names});
    m_listingBytes += cost;
    return names;
}

}  // namespace quernfold
