#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quernfold {

/**
 * Where every listed page's output goes, known before the first page, without keeping a path per page: a page's
 * output path is worked out again from its source path when needed (a few hundred nanoseconds), and a sorted
 * table of hashes finds the pages that share one. A big site's run stays small: 16 bytes and a bit per page.
 */
class PageOutputs {
public:
    using Mapping = std::function<std::string(const std::string& page)>;

    /** pages must outlive this and stay unchanged; map gives a page's output path. */
    PageOutputs(const std::vector<std::string>& pages, Mapping map);

    std::size_t Count() const { return m_pages.size(); }
    std::string PathOf(std::size_t page) const { return m_map(m_pages[page]); }

    /**
     * Claims outputPath (page's own) for page. False when another page claimed it first: the output path is
     * taken, and a page that fails still keeps its claim, so a later page cannot take it over.
     */
    bool Claim(std::size_t page, const std::string& outputPath);
    /** Whether some page claimed path. */
    bool IsClaimed(const std::string& path) const;
    /** The first page (in list order) whose output path is path. */
    std::optional<std::size_t> FirstPageWith(const std::string& path) const;

private:
    // True when visit(page) and then the page's output path equal path for some page among those whose output
    // path hashes like path; visit comes first, so pages it turns down cost no path.
    bool AnyPageWith(const std::string& path, const std::function<bool(std::size_t)>& visit) const;

    const std::vector<std::string>& m_pages;
    Mapping m_map;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> m_byHash;  // (hash of the output path, page), sorted
    std::vector<bool> m_claimed;
};

}  // namespace quernfold
