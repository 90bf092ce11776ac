#include "engine/MemorySiteFiles.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "engine/Errors.h"

namespace quernfold {

namespace {

class MemorySourceFile : public SourceFile {
public:
    explicit MemorySourceFile(const std::string& content) : m_content(content) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, m_content.size() - m_offset);
        std::memcpy(buffer, m_content.data() + m_offset, count);
        m_offset += count;
        return count;
    }
    void Rewind() override { m_offset = 0; }

private:
    const std::string& m_content;
    std::size_t m_offset = 0;
};

}  // namespace

std::unique_ptr<SourceFile> MemorySiteFiles::Open(const std::string& path) {
    ++m_opens[path];
    const auto found = m_files.find(path);
    if (found == m_files.end()) {
        throw FileError(Kind(path) == EntryKind::Folder ? SystemReason(EISDIR) : SystemReason(ENOENT));
    }
    return std::make_unique<MemorySourceFile>(found->second);
}

EntryKind MemorySiteFiles::Kind(const std::string& path) {
    if (m_files.count(path)) return EntryKind::File;
    const std::string prefix = path + m_separator;
    const auto next = m_files.lower_bound(prefix);
    if (next != m_files.end() && next->first.compare(0, prefix.size(), prefix) == 0) return EntryKind::Folder;
    return EntryKind::Missing;
}

std::vector<std::string> MemorySiteFiles::ListNames(const std::string& folder) {
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

}  // namespace quernfold
