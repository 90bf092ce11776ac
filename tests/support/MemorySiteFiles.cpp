#include "tests/support/MemorySiteFiles.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "engine/text/Errors.h"

namespace quernfold {

namespace {

class MemorySourceFile : public SourceFile {
public:
    MemorySourceFile(const std::string& content, const std::int64_t& version, FileId id, std::uint64_t& bytesRead)
        : m_content(content), m_version(version), m_id(id), m_bytesRead(bytesRead) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, m_content.size() - m_offset);
        if (count > 0) std::memcpy(buffer, m_content.data() + m_offset, count);
        m_offset += count;
        m_bytesRead += count;
        return count;
    }
    void Rewind() override { m_offset = 0; }
    FileId Id() const override { return m_id; }
    std::optional<std::uint64_t> Size() const override { return m_content.size(); }
    std::optional<FileStamp> Stamp() const override { return FileStamp{m_id, m_content.size(), m_version, 0}; }

private:
    const std::string& m_content;
    const std::int64_t& m_version;
    FileId m_id;
    std::uint64_t& m_bytesRead;
    std::size_t m_offset = 0;
};

}  // namespace

void MemorySiteFiles::Add(std::string path, std::string content) {
    Content& file = m_files[std::move(path)];
    file.bytes = std::move(content);
    file.version = ++m_versions;
    if (file.inode == 0) file.inode = static_cast<std::uint64_t>(m_files.size());
}

std::unique_ptr<SourceFile> MemorySiteFiles::Open(const std::string& path) {
    ++m_opens[path];
    const auto found = m_files.find(path);
    if (found == m_files.end()) {
        throw FileError(Kind(path) == EntryKind::Folder ? SystemReason(EISDIR) : SystemReason(ENOENT));
    }
    // A device number no disk has: identities of the memory site never meet those of real files.
    constexpr std::uint64_t kMemoryDevice = 0x6d656d6f7279;
    return std::make_unique<MemorySourceFile>(found->second.bytes, found->second.version,
                                              FileId{kMemoryDevice, found->second.inode}, m_bytesRead);
}

EntryKind MemorySiteFiles::Kind(const std::string& path) {
    if (m_files.count(path)) return EntryKind::File;
    const std::string prefix = path + m_separator;
    const auto next = m_files.lower_bound(prefix);
    if (next != m_files.end() && next->first.compare(0, prefix.size(), prefix) == 0) return EntryKind::Folder;
    return EntryKind::Missing;
}

std::vector<std::string> MemorySiteFiles::ListNames(const std::string& folder) {
    ++m_listings[folder];
    const std::string prefix = folder.empty() ? std::string() : folder + m_separator;
    std::set<std::string> names;
    for (auto it = m_files.lower_bound(prefix); it != m_files.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        const std::string rest = it->first.substr(prefix.size());
        names.insert(rest.substr(0, rest.find(m_separator)));
    }
    return {names.begin(), names.end()};
}

int MemorySiteFiles::OpenCount(const std::string& path) const {
    const auto found = m_opens.find(path);
    return found == m_opens.end() ? 0 : found->second;
}

int MemorySiteFiles::ListCount(const std::string& folder) const {
    const auto found = m_listings.find(folder);
    return found == m_listings.end() ? 0 : found->second;
}

}  // namespace quernfold
