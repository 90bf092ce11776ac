#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "engine/LinkScanningOutput.h"
#include "engine/RunReport.h"

namespace quernfold {

/**
 * Finds the references that lead nowhere in the output tree. Targets are looked up as they are added, and only the
 * missing ones are kept, so a run holds on to its broken references, not to every reference; those are looked up
 * again at the end, when every page and static file is in place. Letter case counts, as it does for a web
 * server on Linux; a folder counts as a target.
 */
class LinkCheck {
public:
    /** outputRoot ends in '/'. */
    explicit LinkCheck(std::string outputRoot) : m_outputRoot(std::move(outputRoot)) {}

    /** The references of the file published at outputPath. */
    void Add(const std::string& outputPath, const std::vector<PageLink>& links);

    /** The references whose target is still missing, in the order they were added. */
    std::vector<BrokenLink> Finish();

private:
    bool Exists(const std::string& target);

    std::string m_outputRoot;
    std::unordered_set<std::string> m_found;  // targets known to exist (nothing is removed during a run)
    std::vector<BrokenLink> m_missing;
};

}  // namespace quernfold
