#include "engine/report/LinkCheck.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>

#include "engine/page/PageLinks.h"
#include "engine/output/PageOutputs.h"
#include "engine/output/PathRules.h"
#include "engine/platform/FileSystem.h"

namespace quernfold {

namespace {

// Links are URL paths, resolved with '/'; output paths use this system's separator. The folder and the root are
// taken in '/' form for the resolving, and the target goes back to the system's form to be looked for.
std::string WithSlashes(std::string path) {
    std::replace(path.begin(), path.end(), kNativeSeparator, '/');
    return path;
}

std::string FolderOf(const std::string& outputPath) {
    return ParentDir(WithSlashes(outputPath), '/') + '/';
}

std::string Resolve(std::string_view link, const std::string& folder, const std::string& outputRoot) {
    std::string target = ResolveLinkTarget(link, folder, WithSlashes(outputRoot));
    std::replace(target.begin(), target.end(), '/', kNativeSeparator);
    return target;
}

std::uint64_t HashOf(const std::string& path) {
    // FNV-1a: 64 bits, so two targets of one run sharing a hash is not a practical worry.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return hash;
}

}  // namespace

LinkCheck::LinkCheck(std::string outputRoot, const PageOutputs* pages, CollectAgain collectAgain,
                     std::size_t mostListed, std::vector<std::string> localHosts)
    : m_outputRoot(std::move(outputRoot)),
      m_pages(pages),
      m_collectAgain(std::move(collectAgain)),
      m_nextStaticFile(pages ? pages->Count() : std::size_t{1} << 40),
      m_mostListed(mostListed),
      m_localHosts(std::move(localHosts)),
      m_leftovers(mostListed) {}

void LinkCheck::NoteDynamic(const std::string& outputPath, const PageLink& link, const std::string& target) {
    auto known = m_dynamicIndex.find(target);
    if (known == m_dynamicIndex.end()) {
        if (m_dynamic.size() >= m_mostListed) {
            ++m_dynamicUnlisted;
            return;
        }
        known = m_dynamicIndex.emplace(target, m_dynamic.size()).first;
        m_dynamic.push_back({DynamicLink{target, 0, 0, outputPath, link.line, link.link}, {}});
    }
    DynamicTarget& dynamic = m_dynamic[known->second];
    dynamic.entry.count += link.queried;
    for (const std::string& query : link.queries) {
        if (dynamic.queries.size() < PageLinkList::kMostQueries) dynamic.queries.insert(query);
    }
}

void LinkCheck::NoteAbsolute(const std::string& outputPath, const PageLink& link) {
    std::string host = HostOf(link.path);
    if (!IsLocalHost(host, m_localHosts)) return;
    ++m_absoluteLocal.total;
    if (m_absoluteLocal.entries.size() >= m_mostListed) {
        m_absoluteLocal.truncated = true;
        return;
    }
    m_absoluteLocal.entries.push_back({outputPath, link.line, link.link, std::move(host), link.count});
}

BoundedList<DynamicLink> LinkCheck::TakeDynamicLinks() {
    BoundedList<DynamicLink> list;
    // A page that failed is no dynamic target: its references are broken links.
    for (DynamicTarget& dynamic : m_dynamic) {
        if (!Exists(dynamic.entry.target)) continue;
        dynamic.entry.queries = static_cast<std::int64_t>(dynamic.queries.size());
        list.entries.push_back(std::move(dynamic.entry));
    }
    list.total = static_cast<std::int64_t>(list.entries.size()) + m_dynamicUnlisted;
    list.truncated = m_dynamicUnlisted > 0;
    m_dynamic.clear();
    m_dynamicIndex.clear();
    return list;
}

void LinkCheck::Appeared(const std::string& outputPath) {
    if (m_unlisted.empty()) return;
    // The file, and the folders made for it (a reference to a folder names it with or without its "/").
    for (std::string path = outputPath; path.size() > m_outputRoot.size();) {
        m_unlisted.erase(HashOf(path));
        m_unlisted.erase(HashOf(path + '/'));
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos) break;
        path.resize(slash);
    }
}

bool LinkCheck::Exists(const std::string& target) {
    if (m_found.count(target) > 0) return true;
    if (!LookAt(target)) return false;
    m_found.insert(target);
    return true;
}

bool LinkCheck::IsLaterPage(std::size_t page, const std::string& target, std::size_t& later) const {
    if (!m_pages || !m_collectAgain) return false;
    const std::optional<std::size_t> owner = m_pages->FirstPageWith(target);
    if (!owner || *owner <= page) return false;
    later = *owner;
    return true;
}

void LinkCheck::Keep(std::size_t file, std::size_t index, BrokenLink link) {
    if (m_missing.size() >= m_mostListed) {
        ++m_unlisted[HashOf(link.target)];
        return;
    }
    m_missing.push_back(std::move(link));
    m_missingKeys.emplace_back(file, index);
}

void LinkCheck::AddFile(std::size_t file, const std::string& outputPath, const std::vector<PageLink>& links,
                        bool noteLaterPages) {
    const std::string folder = FolderOf(outputPath);
    // Two spellings of one target in one file ("a.gif", "./a.gif") make one entry.
    std::unordered_map<std::string, std::size_t> entryOf;
    m_leftovers.AddFile(outputPath, links);
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (links[i].kind == NoteKind::ServerCode || links[i].kind == NoteKind::Exposure) continue;
        if (links[i].kind == NoteKind::AbsoluteUrl) {
            NoteAbsolute(outputPath, links[i]);
            continue;
        }
        std::string target = Resolve(links[i].path, folder, m_outputRoot);
        if (!links[i].queries.empty() && m_pages && m_pages->FirstPageWith(target)) {
            NoteDynamic(outputPath, links[i], target);
        }
        if (Exists(target)) continue;
        if (const auto known = entryOf.find(target); known != entryOf.end()) {
            if (known->second < m_missing.size()) m_missing[known->second].count += links[i].count;
            continue;
        }
        std::size_t later = 0;
        if (noteLaterPages && IsLaterPage(file, target, later)) {
            const std::pair<std::uint32_t, std::uint32_t> note(static_cast<std::uint32_t>(file),
                                                               static_cast<std::uint32_t>(later));
            if (m_toLaterPages.empty() || m_toLaterPages.back() != note) m_toLaterPages.push_back(note);
            continue;
        }
        const bool listed = m_missing.size() < m_mostListed;
        entryOf.emplace(target, listed ? m_missing.size() : SIZE_MAX);
        Keep(file, i, {outputPath, links[i].line, links[i].link, std::move(target), links[i].count});
    }
}

void LinkCheck::AddPage(std::size_t page, const std::string& outputPath, const std::vector<PageLink>& links) {
    AddFile(page, outputPath, links, true);
}

void LinkCheck::Add(const std::string& outputPath, const std::vector<PageLink>& links) {
    AddFile(m_nextStaticFile++, outputPath, links, false);
}

std::vector<BrokenLink> LinkCheck::Finish() {
    // The pages whose references to a later page lead nowhere: that page failed. Their references are collected
    // again, and those to later pages that are missing now join the others.
    std::vector<std::uint32_t> again;
    for (const auto& [page, later] : m_toLaterPages) {
        if (!Exists(m_pages->PathOf(later)) && (again.empty() || again.back() != page)) again.push_back(page);
    }
    m_toLaterPages.clear();
    for (const std::uint32_t page : again) {
        const std::string outputPath = m_pages->PathOf(page);
        const std::string folder = FolderOf(outputPath);
        const std::vector<PageLink> links = m_collectAgain(page);
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (links[i].kind != NoteKind::Link) continue;
            std::string target = Resolve(links[i].path, folder, m_outputRoot);
            std::size_t later = 0;
            if (IsLaterPage(page, target, later) && !Exists(target)) {
                Keep(page, i, {outputPath, links[i].line, links[i].link, std::move(target), links[i].count});
            }
        }
    }
    // Only references collected again are out of place; the rest came in order and stay where they are.
    if (!again.empty()) {
        std::vector<std::size_t> order(m_missing.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [this](std::size_t a, std::size_t b) { return m_missingKeys[a] < m_missingKeys[b]; });
        std::vector<BrokenLink> sorted;
        sorted.reserve(order.size());
        for (const std::size_t i : order) sorted.push_back(std::move(m_missing[i]));
        m_missing.swap(sorted);
    }
    std::vector<std::pair<std::size_t, std::size_t>>().swap(m_missingKeys);
    m_missing.erase(std::remove_if(m_missing.begin(), m_missing.end(),
                                   [this](const BrokenLink& link) { return Exists(link.target); }),
                    m_missing.end());
    m_total = static_cast<std::int64_t>(m_missing.size());
    for (const auto& [hash, entries] : m_unlisted) m_total += entries;
    m_truncated = !m_unlisted.empty();
    m_unlisted.clear();
    return std::move(m_missing);
}

}  // namespace quernfold
