#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quernfold {

/**
 * Which files of a site are static files worth publishing. It is an allow-list on purpose: dynamic sites keep
 * databases, backups of source pages and server settings beside their pictures, and none of those may leak.
 */
struct AssetRules {
    std::vector<std::string> types;  // extensions, lower case, no dots
    bool rootRobots = true;          // robots.txt at the site root (part of the default list only)
    std::string sourceType;          // the trimmed source type of the run
};

/** The rules with the default list of extensions. */
AssetRules DefaultAssetRules(std::string_view sourceTypeTrimmed);

/** The rules a run uses: the default list, or the types the user chose instead (then no robots.txt rule). */
AssetRules ChosenAssetRules(std::string_view sourceTypeTrimmed, const std::vector<std::string>& chosenTypes);

/**
 * Parses a comma-separated list of extensions (ASCII case ignored, no dots, spaces around items allowed) into
 * lower-case items. Returns nullopt and sets error when the list is empty or an item holds a dot or a separator.
 */
std::optional<std::vector<std::string>> ParseAssetTypes(std::string_view list, std::string& error);

/** Why a folder of the site is never entered ("" when it may be): hidden, or kept from the web by servers. */
std::string ClosedFolderReason(std::string_view name);

/** What becomes of one regular file of the site. */
struct AssetDecision {
    enum class Kind { Ignore, Copy, Skip } kind = Kind::Ignore;  // Ignore: not a static file at all
    std::string why;                                              // for Skip
};

/**
 * Decides one file by its path relative to the site root ('/'-separated, no leading separator). Source pages
 * of the run and files whose extension is off the list are ignored; files that are on the list but must never
 * be published (hidden, a source page in disguise such as "conn.asp.txt", inside a closed folder) are skipped
 * with the reason.
 */
AssetDecision DecideAsset(std::string_view relativePath, const AssetRules& rules);

/**
 * Why a link may not be published for what it leads to ("" when it may): target is where it leads, '/'-separated
 * below the site root; every name on the way is judged as the link's own name is. A link to a file must lead to
 * a file that would be copied under its own name.
 */
std::string WhyLinkTargetIsClosed(std::string_view target, bool folder, const AssetRules& rules);

}  // namespace quernfold
