#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/output/EarlierOutputFiles.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

class RunPlan;

/**
 * Whether the output folder and the site share files: the output root is the site root, lies inside it or above
 * it, decided by identity, never by path text. pages are the listed source pages; the folders holding them (and
 * those between them and the site root) are what "inside" means, so a bind mount of one of them counts too.
 */
bool OutputOverlapsSite(const std::string& siteRoot, const std::string& outputRoot,
                        const std::vector<std::string>& pages);

/**
 * The rules of a run whose output folder shares folders with the site (a re-run into the site root, an output
 * folder inside the site): no page replaces its own source or a file the run reads, and a file standing at a
 * page's output path is that page's earlier output, so an include that reaches it reads the source page instead.
 * Every check is by identity, never by path text. A run without overlap passes every check at no cost.
 */
class OverlapGuard {
public:
    /** Notes, before the first page, the earlier outputs standing at the pages' output paths. */
    OverlapGuard(const RunPlan& plan, EarlierOutputFiles& earlierOutputs);

    bool Active() const { return m_active; }
    /** Before a page is written: throws FileError when its output path is its own source. */
    void CheckOutputIsNotTheSource(const std::string& source, const std::string& outputPath) const;
    /** Before a page is published: throws FileError when its output path is a file the run reads (isRead). */
    void CheckOutputIsNotRead(const std::string& outputPath, const std::function<bool(const FileId&)>& isRead) const;
    /** After a page is published: an include that reaches output reads source from now on. */
    void Published(const FileId& output, const std::string& source);

private:
    bool m_active;
    EarlierOutputFiles& m_earlierOutputs;
};

}  // namespace quernfold
