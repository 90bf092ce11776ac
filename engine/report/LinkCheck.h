#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/page/LinkScanningOutput.h"
#include "engine/report/LeftoverList.h"
#include "engine/report/RunReport.h"

namespace quernfold {

class PageOutputs;

/**
 * Finds the references that lead nowhere in the output tree. Targets are looked up as they are added, and only the
 * missing ones are kept, so a run holds on to its broken references, not to every reference; those are looked up
 * again at the end, when every page and static file is in place. A reference to a page later in the list is kept
 * as two numbers only (the pages), as it is broken only if that page fails; the few such references that are
 * broken at the end get their text from the page's references collected again. Letter case counts, as it does
 * for a web server on Linux; a folder counts as a target.
 */
class LinkCheck {
public:
    /** The references of a page of the run, collected again as its conversion collected them. */
    using CollectAgain = std::function<std::vector<PageLink>(std::size_t page)>;

    /** Entries listed at most; past them, broken references are counted, not listed. */
    static constexpr std::size_t kMostListed = 100000;

    /**
     * outputRoot ends in '/'. pages and collectAgain, when given, let references to later pages be kept small.
     * mostListed: the bound of the list (tests make it small).
     */
    explicit LinkCheck(std::string outputRoot, const PageOutputs* pages = nullptr, CollectAgain collectAgain = {},
                       std::size_t mostListed = kMostListed, std::vector<std::string> localHosts = {});

    /** The references of page number `page` of the run's list, published at outputPath. */
    void AddPage(std::size_t page, const std::string& outputPath, const std::vector<PageLink>& links);
    /** The references of another file published at outputPath (a copied static page), after the pages. */
    void Add(const std::string& outputPath, const std::vector<PageLink>& links);

    /** A file was put in place at outputPath after the pages (a copied static file): references to it are whole. */
    void Appeared(const std::string& outputPath);

    /**
     * The references whose target is still missing, one entry per file and target, in the order of the files and
     * of the first reference of each; at most mostListed of them.
     */
    std::vector<BrokenLink> Finish();
    /** After Finish: the entries found, listed or not, and whether the list was cut short. */
    std::int64_t TotalFound() const { return m_total; }
    bool Truncated() const { return m_truncated; }

    /**
     * After Finish: the references with a query string to a converted page, one entry per page in the order first
     * met, and the URLs naming this machine, one per file and URL; neither is a broken link.
     */
    BoundedList<DynamicLink> TakeDynamicLinks();
    BoundedList<BrokenLink> TakeAbsoluteLocal() { return std::move(m_absoluteLocal); }
    /** The server code and exposures noted with the references. */
    LeftoverList& Leftovers() { return m_leftovers; }

private:
    // Keeps a reference missing now; file: the page's number in the list (static files come after every page),
    // index: the reference's position among its file's references.
    void Keep(std::size_t file, std::size_t index, BrokenLink link);
    bool Exists(const std::string& target);
    // Keeps the references of a file whose target is missing now; with laterPagesOf, a reference to a later page
    // is noted in m_toLaterPages instead.
    void AddFile(std::size_t file, const std::string& outputPath, const std::vector<PageLink>& links,
                 bool noteLaterPages);
    bool IsLaterPage(std::size_t page, const std::string& target, std::size_t& later) const;
    void NoteDynamic(const std::string& outputPath, const PageLink& link, const std::string& target);
    void NoteAbsolute(const std::string& outputPath, const PageLink& link);

    struct DynamicTarget {
        DynamicLink entry;
        std::unordered_set<std::string> queries;
    };

    std::string m_outputRoot;
    const PageOutputs* m_pages;
    CollectAgain m_collectAgain;
    std::unordered_set<std::string> m_found;  // targets known to exist (nothing is removed during a run)
    std::vector<BrokenLink> m_missing;
    std::vector<std::pair<std::size_t, std::size_t>> m_missingKeys;  // (file, index) of each, for the order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_toLaterPages;  // (page, a later page it refers to)
    std::size_t m_nextStaticFile;
    std::size_t m_mostListed;
    // Entries past the bound: how many there are per target (by a hash of its path), so a target that appears
    // later (a static file copied after the pages) takes its entries off the count.
    std::unordered_map<std::uint64_t, std::int64_t> m_unlisted;
    std::int64_t m_total = 0;
    bool m_truncated = false;
    std::vector<std::string> m_localHosts;
    std::vector<DynamicTarget> m_dynamic;
    std::unordered_map<std::string, std::size_t> m_dynamicIndex;  // target -> its entry
    std::int64_t m_dynamicUnlisted = 0;  // targets past the bound
    BoundedList<BrokenLink> m_absoluteLocal;
    LeftoverList m_leftovers;
};

}  // namespace quernfold
