#include "engine/run/OverlapGuard.h"

#include <unordered_set>

#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/run/RunPlan.h"
#include "engine/text/Errors.h"

namespace quernfold {

bool OutputOverlapsSite(const std::string& siteRoot, const std::string& outputRoot,
                        const std::vector<std::string>& pages) {
    std::unordered_set<FileId, FileIdHash> siteFolders;
    const auto site = IdentityOf(siteRoot);
    if (!site) return false;
    siteFolders.insert(*site);
    std::unordered_set<std::string> seen;
    for (const std::string& page : pages) {
        std::string folder = ParentDir(page, kNativeSeparator);
        while (folder.size() + 1 > siteRoot.size() && seen.insert(folder).second) {
            if (const auto id = IdentityOf(folder)) siteFolders.insert(*id);
            folder = ParentDir(folder, kNativeSeparator);
        }
    }
    if (LiesInOneOf(outputRoot, siteFolders)) return true;
    const auto output = IdentityOf(outputRoot);
    return output && LiesInOneOf(siteRoot, {*output});
}

OverlapGuard::OverlapGuard(const RunPlan& plan, EarlierOutputFiles& earlierOutputs)
    : m_active(plan.Overlaps()), m_earlierOutputs(earlierOutputs) {
    if (!m_active) return;
    for (std::size_t i = 0; i < plan.Outputs().Count(); ++i) {
        const auto existing = IdentityOf(plan.Outputs().PathOf(i));
        if (existing && !plan.PageIds().count(*existing)) m_earlierOutputs.Add(*existing, plan.Pages()[i]);
    }
}

void OverlapGuard::CheckOutputIsNotTheSource(const std::string& source, const std::string& outputPath) const {
    if (!m_active) return;
    const auto output = IdentityOf(outputPath);
    if (output && output == IdentityOf(source)) throw FileError(OutputIsTheSourceReason());
}

void OverlapGuard::CheckOutputIsNotRead(const std::string& outputPath,
                                        const std::function<bool(const FileId&)>& isRead) const {
    if (!m_active) return;
    const auto existing = IdentityOf(outputPath);
    if (existing && isRead(*existing)) throw FileError(OutputIsReadReason(outputPath));
}

void OverlapGuard::Published(const FileId& output, const std::string& source) {
    if (m_active) m_earlierOutputs.Add(output, source);
}

}  // namespace quernfold
