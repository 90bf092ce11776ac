#include "tests/support/MemoryOutputTree.h"

#include <cerrno>

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"

namespace quernfold {

class MemoryPageOutput : public PageOutput {
public:
    MemoryPageOutput(MemoryOutputTree& tree, std::string path, std::uint64_t sizeLimit)
        : m_tree(tree), m_path(std::move(path)), m_sizeLimit(sizeLimit), m_id{~std::uint64_t{0}, tree.m_nextInode++} {
        ++m_tree.m_open;
    }
    ~MemoryPageOutput() override { Discard(); }

    void Write(std::string_view bytes) override {
        if (!m_open) throw OutputError("the output file is closed");
        if (bytes.size() > m_sizeLimit - m_bytes.size()) throw OutputError(OutputTooLargeReason(m_sizeLimit));
        if (bytes.size() > m_tree.m_space) throw OutputError(SystemReason(ENOSPC));
        m_tree.m_space -= bytes.size();
        m_bytes.append(bytes);
    }
    void Publish() override {
        if (!m_open) throw OutputError("the output file is closed");
        m_tree.m_files[m_path] = std::move(m_bytes);
        Close();
    }
    void Discard() noexcept override { Close(); }
    FileId Id() const override { return m_id; }

private:
    void Close() {
        if (m_open) --m_tree.m_open;
        m_open = false;
    }

    MemoryOutputTree& m_tree;
    std::string m_path;
    std::uint64_t m_sizeLimit;
    FileId m_id;
    std::string m_bytes;
    bool m_open = true;
};

void MemoryOutputTree::MakeFolders(const OutputPathPlan& plan) {
    for (const std::string& folder : plan.folders) {
        if (m_links.count(folder)) throw FileError(OutputFolderIsLinkReason(folder));
        m_folders.insert(folder);
    }
}

std::unique_ptr<PageOutput> MemoryOutputTree::Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) {
    MakeFolders(plan);
    return std::make_unique<MemoryPageOutput>(*this, plan.outputPath, sizeLimit);
}

CopyOutcome MemoryOutputTree::Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules&) {
    MakeFolders(plan);
    std::string bytes;
    char buffer[64 * 1024];
    while (const std::size_t got = source.Read(buffer, sizeof buffer)) bytes.append(buffer, got);
    const auto existing = m_files.find(plan.outputPath);
    if (existing != m_files.end() && existing->second == bytes) return CopyOutcome::Unchanged;
    if (bytes.size() > m_space) throw OutputError(SystemReason(ENOSPC));
    m_space -= bytes.size();
    m_files[plan.outputPath] = std::move(bytes);
    return CopyOutcome::Copied;
}

}  // namespace quernfold
