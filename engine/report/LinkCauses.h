#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "engine/report/RunReport.h"
#include "engine/site/AssetRules.h"

namespace quernfold {

class PageOutputs;
class SiteFiles;

/** What the run knows that tells why a link leads nowhere. Both roots end in '/'. */
struct LinkCauseFacts {
    std::string siteRoot;
    std::string outputRoot;
    std::string sourceType;  // trimmed
    std::string outputType;  // trimmed
    bool copiedStaticFiles = false;
    AssetRules assetRules;
    const PageOutputs* pages = nullptr;               // the output path of every page of the run
    const std::vector<PathReason>* skipped = nullptr;  // static files the copy skipped, with why
};

/** The causes a broken link can have, in the order the report counts them. */
inline constexpr const char* kLinkCauses[] = {"missing",        "notCopied",  "letterCase", "sourceExtension",
                                              "pageFailed",     "serverCode", "outside"};

/**
 * Tells why each broken link leads nowhere, so a webmaster can tell a letter-case slip from a file the run chose
 * not to publish: sets each link's cause and, where there is one, its detail (the file with the other letter
 * case, the converted page, why a file of the site was not copied). site is the site, output the output tree as
 * the run left it.
 */
class LinkCauses {
public:
    LinkCauses(LinkCauseFacts facts, SiteFiles& site, SiteFiles& output);
    void Explain(BrokenLink& link);

private:
    bool LeavesOutputRoot(const BrokenLink& link) const;
    std::string WithOtherCase(const std::string& target);  // "" when no such file
    std::string NotCopiedWhy(const std::string& relative);

    LinkCauseFacts m_facts;
    SiteFiles& m_site;
    SiteFiles& m_output;
    std::unordered_map<std::string, std::string> m_skipped;  // site path -> why
};

/** The broken links counted by cause, every cause listed. */
std::vector<std::pair<std::string, std::int64_t>> CountByCause(const std::vector<BrokenLink>& links);

}  // namespace quernfold
