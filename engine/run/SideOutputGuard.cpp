#include "engine/run/SideOutputGuard.h"

#include "engine/output/SideOutputs.h"
#include "engine/run/HeldLog.h"
#include "engine/run/RunPlan.h"
#include "engine/run/StopRequest.h"

namespace quernfold {

FileIds FilesReadByPages(const ExpanderSettings& settings, const std::string& siteRoot, SiteFiles& files,
                         const std::vector<std::string>& pages) {
    ExpansionContext scratch;
    scratch.siteRoot = siteRoot;
    Discarding nowhere;
    PageExpander lookAhead(settings, scratch, files, nowhere);
    for (const std::string& page : pages) {
        try {
            lookAhead.ExpandSourcePage(page, nowhere);
        } catch (const RunStopped&) {
            throw;
        } catch (const std::exception&) {
            // The real run meets the same failure and reports it.
        }
    }
    return lookAhead.FilesRead();
}

std::optional<std::string> SideOutputGuard::Check(const std::vector<std::string>& sideOutputs, const RunPlan& plan,
                                                  const std::function<FileIds()>& filesRead,
                                                  const std::function<bool(const std::string&)>& isStaticOutput) {
    std::optional<FileIds> includes;
    const FileIds none;
    for (std::size_t i = 0; i < sideOutputs.size(); ++i) {
        const std::string& target = sideOutputs[i];
        if (!includes && NeedsIncludes(target, plan.SiteRoot())) includes = filesRead();
        const RunFilesBeforeStart files{plan.Outputs(),
                                        [&plan](const FileId& id) { return plan.IsFileOfTheSite(id); },
                                        plan.PageIds(),
                                        includes ? *includes : none,
                                        plan.OutputRoot(),
                                        isStaticOutput};
        if (auto why = WhySideOutputIsTaken(target, files)) return why;
        for (std::size_t j = 0; j < i; ++j) {
            if (auto why = WhySideOutputsClash(target, sideOutputs[j])) return why;
        }
        if (const auto id = SideOutputId(target)) m_ids.emplace_back(target, *id);
    }
    return std::nullopt;
}

std::vector<std::string> SideOutputGuard::ReadByRun(const std::function<bool(const FileId&)>& isRead) const {
    std::vector<std::string> read;
    for (const auto& [target, id] : m_ids) {
        if (isRead(id)) read.push_back(target);
    }
    return read;
}

}  // namespace quernfold
