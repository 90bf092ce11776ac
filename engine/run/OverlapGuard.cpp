#include "engine/run/OverlapGuard.h"

#include "engine/log/LogLines.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/run/RunPlan.h"
#include "engine/text/Errors.h"

namespace quernfold {

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
