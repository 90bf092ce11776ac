#include "engine/output/PageOutputs.h"

#include <algorithm>
#include <string_view>

#include "engine/output/PathRules.h"
#include "engine/text/AsciiText.h"

namespace quernfold {

namespace {

// Windows' file systems take names that differ only in letter case for one name: there two such output paths
// are one file, and the later page must see the earlier one's claim. ASCII letters are folded here (".JSP" and
// ".jsp"); the file system folds the rest.
constexpr bool kNamesIgnoreCase = kNativeSeparator == '\\';

std::uint64_t HashOf(const std::string& path) {
    if constexpr (kNamesIgnoreCase) {
        std::string folded = path;
        for (char& c : folded) c = UpperAscii(c);
        return std::hash<std::string_view>{}(folded);
    }
    return std::hash<std::string_view>{}(path);
}

bool SamePath(const std::string& a, const std::string& b) {
    if constexpr (kNamesIgnoreCase) return EqualsIgnoringAsciiCase(a, b);
    return a == b;
}

}  // namespace

PageOutputs::PageOutputs(const std::vector<std::string>& pages, Mapping map)
    : m_pages(pages), m_map(std::move(map)), m_claimed(pages.size(), false) {
    m_byHash.reserve(pages.size());
    for (std::size_t page = 0; page < pages.size(); ++page) {
        m_byHash.emplace_back(HashOf(PathOf(page)), static_cast<std::uint32_t>(page));
    }
    std::sort(m_byHash.begin(), m_byHash.end());
}

bool PageOutputs::AnyPageWith(const std::string& path, const std::function<bool(std::size_t)>& visit) const {
    const std::uint64_t hash = HashOf(path);
    auto it = std::lower_bound(m_byHash.begin(), m_byHash.end(), std::make_pair(hash, std::uint32_t{0}));
    for (; it != m_byHash.end() && it->first == hash; ++it) {
        // Equal hashes are only candidates: the paths themselves decide (worked out only for a page visit wants).
        if (visit(it->second) && SamePath(PathOf(it->second), path)) return true;
    }
    return false;
}

bool PageOutputs::Claim(std::size_t page, const std::string& outputPath) {
    const bool taken = AnyPageWith(outputPath, [&](std::size_t other) { return other != page && m_claimed[other]; });
    if (!taken) m_claimed[page] = true;
    return !taken;
}

bool PageOutputs::IsClaimed(const std::string& path) const {
    return AnyPageWith(path, [&](std::size_t page) { return m_claimed[page]; });
}

std::optional<std::size_t> PageOutputs::FirstPageWith(const std::string& path) const {
    std::optional<std::size_t> first;
    AnyPageWith(path, [&](std::size_t page) {
        if (!first || page < *first) {
            // Checked here, as the table does not check a page visit turns down.
            if (SamePath(PathOf(page), path)) first = page;
        }
        return false;
    });
    return first;
}

}  // namespace quernfold
