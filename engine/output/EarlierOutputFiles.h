#pragma once

#include <string>
#include <unordered_map>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * The site as an overlapping run sees it: a file standing at a page's output path is that page's output (from an
 * earlier run, or published by this one), so an include that reaches it, by whatever spelling, reads the source
 * page instead, exactly as the undone name would. Without this a re-run into the site root would include the
 * stale output of the last run and never pick up an edit of the page.
 */
class EarlierOutputFiles : public SiteFiles {
public:
    explicit EarlierOutputFiles(SiteFiles& inner) : m_inner(inner) {}

    /** The file with identity output is the output of sourcePage. */
    void Add(FileId output, const std::string& sourcePage);

    std::unique_ptr<SourceFile> Open(const std::string& path) override;
    EntryKind Kind(const std::string& path) override { return m_inner.Kind(path); }
    std::vector<std::string> ListNames(const std::string& folder) override { return m_inner.ListNames(folder); }

private:
    SiteFiles& m_inner;
    std::unordered_map<FileId, std::string, FileIdHash> m_sources;
};

}  // namespace quernfold
