#include "engine/LinkCheck.h"

#include <sys/stat.h>

#include "engine/PageLinks.h"
#include "engine/PathRules.h"

namespace quernfold {

bool LinkCheck::Exists(const std::string& target) {
    if (m_found.count(target) > 0) return true;
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) return false;
    m_found.insert(target);
    return true;
}

void LinkCheck::Add(const std::string& outputPath, const std::vector<PageLink>& links) {
    const std::string folder = ParentDir(outputPath, '/') + '/';
    for (const PageLink& link : links) {
        std::string target = ResolveLinkTarget(link.path, folder, m_outputRoot);
        if (!Exists(target)) m_missing.push_back({outputPath, link.line, link.link, std::move(target)});
    }
}

std::vector<BrokenLink> LinkCheck::Finish() {
    std::vector<BrokenLink> broken;
    for (BrokenLink& link : m_missing) {
        if (!Exists(link.target)) broken.push_back(std::move(link));
    }
    m_missing.clear();
    return broken;
}

}  // namespace quernfold
