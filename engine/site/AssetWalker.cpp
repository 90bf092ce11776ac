#include "engine/site/AssetWalker.h"

#include "engine/output/PathRules.h"
#include "engine/site/SiteWalk.h"

namespace quernfold {

AssetListing CollectAssets(SiteFiles& files, const std::string& siteRoot, const AssetRules& rules,
                           std::optional<FileId> skipFolder) {
    AssetListing listing;
    WalkRules walk;
    walk.file = [&](const std::string& path, const std::string& relative, const FolderEntry& entry) {
        AssetDecision decision = DecideAsset(relative, rules);
        if (decision.kind == AssetDecision::Kind::Copy) {
            if (std::string why = WhyLinkTargetIsClosed(entry.linkTarget, false, rules); !why.empty()) {
                decision = {AssetDecision::Kind::Skip, std::move(why)};
            }
        }
        if (decision.kind == AssetDecision::Kind::Copy) {
            listing.files.push_back({path, relative});
        } else if (decision.kind == AssetDecision::Kind::Skip) {
            listing.skipped.push_back({path, decision.why});
        }
    };
    walk.enter = [&](const std::string& path, const std::string&, const FolderEntry& entry) {
        if (skipFolder && entry.id == *skipFolder) return false;
        if (const std::string why = ClosedFolderReason(entry.name); !why.empty()) {
            // Hidden folders (.svn, .git) are everywhere and never meant for the web: not worth a line.
            if (!entry.name.starts_with(".")) listing.skipped.push_back({path, why});
            return false;
        }
        if (std::string why = WhyLinkTargetIsClosed(entry.linkTarget, true, rules); !why.empty()) {
            listing.skipped.push_back({path, std::move(why)});
            return false;
        }
        return true;
    };
    walk.unreadable = [&](const std::string& folder, const std::string& reason) {
        listing.unreadable.push_back({folder, reason});
    };
    // In the order the pages are walked.
    WalkSite(files, WithTrailingSeparator(siteRoot, kNativeSeparator), walk);
    return listing;
}

}  // namespace quernfold
