#include "engine/output/EarlierOutputFiles.h"

namespace quernfold {

void EarlierOutputFiles::Add(FileId output, const std::string& sourcePage) {
    if (output.Known()) m_sources[output] = sourcePage;
}

std::unique_ptr<SourceFile> EarlierOutputFiles::Open(const std::string& path) {
    std::unique_ptr<SourceFile> file = m_inner.Open(path);
    if (m_sources.empty()) return file;
    const auto source = m_sources.find(file->Id());
    if (source == m_sources.end() || source->second == path) return file;
    return m_inner.Open(source->second);
}

}  // namespace quernfold
