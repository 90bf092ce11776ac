#include "engine/report/LinkCauses.h"

#include <algorithm>

#include "engine/output/PageOutputs.h"
#include "engine/output/PathRules.h"
#include "engine/page/PageLinks.h"
#include "engine/site/SiteFiles.h"
#include "engine/text/AsciiText.h"

namespace quernfold {

namespace {

// Code the server ran to make the value: a block, a JSP expression or a custom tag ("<c:url value=...").
bool HoldsServerCode(std::string_view link) {
    if (link.find("<%") != std::string_view::npos || link.find("%>") != std::string_view::npos ||
        link.find("${") != std::string_view::npos) {
        return true;
    }
    for (std::size_t open = link.find('<'); open != std::string_view::npos; open = link.find('<', open + 1)) {
        std::size_t end = open + 1;
        while (end < link.size() && ((link[end] >= 'a' && link[end] <= 'z') || (link[end] >= 'A' && link[end] <= 'Z'))) {
            ++end;
        }
        if (end > open + 1 && end < link.size() && link[end] == ':') return true;
    }
    return false;
}

}  // namespace

LinkCauses::LinkCauses(LinkCauseFacts facts, SiteFiles& site, SiteFiles& output)
    : m_facts(std::move(facts)), m_site(site), m_output(output) {
    if (m_facts.skipped) {
        for (const PathReason& skipped : *m_facts.skipped) m_skipped.emplace(skipped.path, skipped.reason);
    }
}

void LinkCauses::Explain(BrokenLink& link) {
    link.detail.clear();
    if (HoldsServerCode(link.link)) {
        link.cause = "serverCode";
        return;
    }
    if (LeavesOutputRoot(link)) {
        link.cause = "outside";
        return;
    }
    if (m_facts.pages && m_facts.pages->FirstPageWith(link.target)) {
        link.cause = "pageFailed";
        return;
    }
    const std::string& target = link.target;
    const std::string sourceExtension = TypeExtension(m_facts.sourceType);
    if (sourceExtension.size() > 1 && target.size() > sourceExtension.size() &&
        EqualsIgnoringAsciiCase(std::string_view(target).substr(target.size() - sourceExtension.size()),
                                sourceExtension)) {
        const std::string converted =
            target.substr(0, target.size() - sourceExtension.size()) + TypeExtension(m_facts.outputType);
        // CHECKCODE.ASP beside CheckCode.htm: the extension is the first fault to mend.
        const std::string existing =
            m_output.Kind(converted) != EntryKind::Missing ? converted : WithOtherCase(converted);
        if (!existing.empty()) {
            link.cause = "sourceExtension";
            link.detail = existing + " (--links-any-case rewrites it)";
            return;
        }
    }
    if (std::string other = WithOtherCase(target); !other.empty()) {
        link.cause = "letterCase";
        link.detail = std::move(other);
        return;
    }
    const std::string relative = target.substr(std::min(target.size(), m_facts.outputRoot.size()));
    if (!relative.empty() && m_site.Kind(m_facts.siteRoot + relative) == EntryKind::File) {
        link.cause = "notCopied";
        link.detail = NotCopiedWhy(relative);
        return;
    }
    link.cause = "missing";
}

// The resolved target cannot show it: resolving stops ".." at the output root, as a web server does.
bool LinkCauses::LeavesOutputRoot(const BrokenLink& link) const {
    const std::optional<std::string> path = LocalLinkPath(CodePage::Utf8, link.link);
    if (!path) return false;
    // The page's path and the root use this system's separator; the link's, '/'.
    std::string page = link.page;
    std::string root = m_facts.outputRoot;
    std::replace(page.begin(), page.end(), kNativeSeparator, '/');
    std::replace(root.begin(), root.end(), kNativeSeparator, '/');
    const std::string folder = ParentDir(page, '/') + '/';
    long depth = 0;
    if (!path->starts_with("/") && folder.starts_with(root)) {
        for (const std::string_view segment : SplitKeepEmpty(std::string_view(folder).substr(root.size()), '/')) {
            if (!segment.empty()) ++depth;
        }
    }
    for (const std::string_view segment : SplitKeepEmpty(*path, '/')) {
        if (segment.empty() || segment == ".") continue;
        if (segment != "..") {
            ++depth;
        } else if (--depth < 0) {
            return true;
        }
    }
    return false;
}

// Each step below the output root is looked up as spelled, then ignoring letter case.
std::string LinkCauses::WithOtherCase(const std::string& target) {
    if (!target.starts_with(m_facts.outputRoot)) return {};
    std::string found = m_facts.outputRoot;
    bool differs = false;
    const std::string_view rest = std::string_view(target).substr(m_facts.outputRoot.size());
    for (const std::string_view segment : SplitKeepEmpty(rest, '/')) {
        if (segment.empty()) continue;
        const std::string folder = found;
        std::string exact = folder + std::string(segment);
        if (m_output.Kind(exact) != EntryKind::Missing) {
            found = std::move(exact) + '/';
            continue;
        }
        const std::optional<std::string> other =
            m_output.FindIgnoringCase(folder.substr(0, folder.size() - 1), segment);
        if (!other) return {};
        found = folder + *other + '/';
        differs = true;
    }
    if (!differs) return {};
    if (!target.ends_with("/")) found.pop_back();
    return found;
}

std::string LinkCauses::NotCopiedWhy(const std::string& relative) {
    const std::string sitePath = m_facts.siteRoot + relative;
    if (const auto skipped = m_skipped.find(sitePath); skipped != m_skipped.end()) return skipped->second;
    if (!m_facts.copiedStaticFiles) return "static files were not copied (-a)";
    const AssetDecision decision = DecideAsset(relative, m_facts.assetRules);
    if (decision.kind == AssetDecision::Kind::Skip) return decision.why;
    if (decision.kind == AssetDecision::Kind::Ignore) return "its type is not on the list of static files";
    return {};
}

std::vector<std::pair<std::string, std::int64_t>> CountByCause(const std::vector<BrokenLink>& links) {
    std::vector<std::pair<std::string, std::int64_t>> counts;
    for (const char* cause : kLinkCauses) counts.emplace_back(cause, 0);
    for (const BrokenLink& link : links) {
        for (auto& [cause, count] : counts) {
            if (cause == link.cause) ++count;
        }
    }
    return counts;
}

}  // namespace quernfold
