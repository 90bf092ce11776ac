#include "engine/page/LinkScanningOutput.h"

#include <algorithm>

#include "engine/page/PageLinks.h"
#include "engine/platform/Transcode.h"

namespace quernfold {

namespace {

// Notes the links of one piece whose first byte stands on line firstLine; returns the line after the piece.
std::int64_t Collect(CodePage cp, std::string_view bytes, std::int64_t firstLine, PageLinkList& links) {
    std::vector<FoundLink> found;
    FindLinks(cp, bytes, found);
    std::int64_t line = firstLine;
    std::size_t counted = 0;
    for (const FoundLink& link : found) {
        std::optional<std::string> path = LocalLinkPath(cp, link.value);
        if (!path) continue;
        line += std::count(bytes.begin() + static_cast<std::ptrdiff_t>(counted),
                           bytes.begin() + static_cast<std::ptrdiff_t>(link.offset), '\n');
        counted = link.offset;
        std::optional<std::string> text = ToUtf8(cp, link.value);
        links.Add(line, text ? std::move(*text) : std::string(link.value), std::move(*path));
    }
    return line + std::count(bytes.begin() + static_cast<std::ptrdiff_t>(counted), bytes.end(), '\n');
}

}  // namespace

void LinkScanningOutput::Write(std::string_view bytes) {
    m_inner.Write(bytes);
    m_line = Collect(m_cp, bytes, m_line, m_list);
}

CodePage LinkScanningOutput::SwitchCodePage(CodePage cp) {
    m_inner.SwitchCodePage(cp);
    const CodePage previous = m_cp;
    m_cp = cp;
    return previous;
}

void CollectLinks(CodePage cp, std::string_view bytes, std::vector<PageLink>& links) {
    PageLinkList list(links);
    Collect(cp, bytes, 1, list);
}

void PageLinkList::Add(std::int64_t line, std::string link, std::string path) {
    const auto [entry, added] = m_index.try_emplace(path, m_links.size());
    if (!added) {
        ++m_links[entry->second].count;
        return;
    }
    m_links.push_back({line, std::move(link), std::move(path), 1});
}

}  // namespace quernfold
