#include "engine/page/LinkScanningOutput.h"

#include <algorithm>

#include "engine/page/Leftovers.h"
#include "engine/page/PageLinks.h"
#include "engine/platform/Transcode.h"

namespace quernfold {

namespace {

// Notes one value: a local reference (as the page's <base> makes it), or an absolute web URL.
void NoteLink(CodePage cp, const FoundLink& link, std::int64_t line, PageLinkList& links, LinkScanState& state) {
    if (link.base) NoteBase(cp, link.value, state);
    std::optional<std::string> text = ToUtf8(cp, link.value);
    std::string written = text ? std::move(*text) : std::string(link.value);
    if (IsWebUrl(written)) {
        if (!link.base || state.baseElsewhere) links.Add(line, written, written, NoteKind::AbsoluteUrl);
        return;
    }
    if (link.base) return;
    std::optional<std::string> path = LocalLinkPath(cp, link.value);
    if (path) path = ApplyBase(std::move(*path), state);
    if (!path) return;
    links.Add(line, written, std::move(*path), NoteKind::Link, QueryOf(written));
}

// Notes the links of one piece whose first byte stands on line firstLine; returns the line after the piece.
std::int64_t Collect(CodePage cp, std::string_view bytes, std::int64_t firstLine, PageLinkList& links,
                     LinkScanState& state) {
    std::vector<FoundLink> found;
    FindLinks(cp, bytes, found, state);
    std::int64_t line = firstLine;
    std::size_t counted = 0;
    for (const FoundLink& link : found) {
        line += std::count(bytes.begin() + static_cast<std::ptrdiff_t>(counted),
                           bytes.begin() + static_cast<std::ptrdiff_t>(link.offset), '\n');
        counted = link.offset;
        NoteLink(cp, link, line, links, state);
    }
    return line + std::count(bytes.begin() + static_cast<std::ptrdiff_t>(counted), bytes.end(), '\n');
}

}  // namespace

void LinkScanningOutput::Write(std::string_view bytes) {
    m_inner.Write(bytes);
    FindLeftovers(m_cp, bytes, m_line, true, m_list);
    m_line = Collect(m_cp, bytes, m_line, m_list, m_scan);
}

CodePage LinkScanningOutput::SwitchCodePage(CodePage cp) {
    m_inner.SwitchCodePage(cp);
    const CodePage previous = m_cp;
    m_cp = cp;
    return previous;
}

void CollectLinks(CodePage cp, std::string_view bytes, std::vector<PageLink>& links) {
    PageLinkList list(links);
    LinkScanState state;
    Collect(cp, bytes, 1, list, state);
}

void PageLinkList::Add(std::int64_t line, std::string link, std::string path, NoteKind kind,
                       std::string_view query) {
    const auto [entry, added] = m_index.try_emplace(static_cast<char>(kind) + path, m_links.size());
    if (added) m_links.push_back({line, std::move(link), std::move(path), 0, {}, 0, kind});
    PageLink& noted = m_links[entry->second];
    ++noted.count;
    if (query.empty()) return;
    ++noted.queried;
    if (noted.queries.size() < kMostQueries &&
        std::find(noted.queries.begin(), noted.queries.end(), query) == noted.queries.end()) {
        noted.queries.emplace_back(query);
    }
}

}  // namespace quernfold
