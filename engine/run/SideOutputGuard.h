#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/page/PageExpander.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

class RunPlan;

using FileIds = std::unordered_set<FileId, FileIdHash>;

/**
 * Every file the pages' expansions read, learnt by expanding each page once into nothing before anything is
 * written (no line, no count). A page that fails here fails again in the run, which reports it.
 */
FileIds FilesReadByPages(const ExpanderSettings& settings, const std::string& siteRoot, SiteFiles& files,
                         const std::vector<std::string>& pages);

/**
 * The files a front end writes beside the pages (--log, --report): none may replace a file of the site or of the
 * run. Checked before the first page, by the run and the dry run alike; after the run, the side outputs that
 * turned out to be read as includes are named, so the front end does not write them.
 */
class SideOutputGuard {
public:
    /**
     * Why one of sideOutputs must not be written; nullopt when none would replace a file of the site or of the
     * run, or another side output. filesRead is asked only when a side output stands inside the site;
     * isStaticOutput (with static files) says whether a static file is copied to a path below the output root.
     */
    std::optional<std::string> Check(const std::vector<std::string>& sideOutputs, const RunPlan& plan,
                                     const std::function<FileIds()>& filesRead,
                                     const std::function<bool(const std::string&)>& isStaticOutput = {});

    /** The side outputs whose files the run read. */
    std::vector<std::string> ReadByRun(const std::function<bool(const FileId&)>& isRead) const;

private:
    std::vector<std::pair<std::string, FileId>> m_ids;
};

}  // namespace quernfold
