#include "engine/site/AssetRules.h"

#include <algorithm>

#include "engine/text/AsciiText.h"
#include "engine/output/PathRules.h"
#include "engine/site/SourceWalker.h"

namespace quernfold {

namespace {

constexpr std::string_view kDefaultTypes[] = {
    "htm", "html", "xhtml", "css",  "js",  "mjs", "png",  "jpg",   "jpeg", "gif", "bmp", "ico",
    "cur", "svg",  "webp",  "avif", "tif", "tiff", "swf", "flv",  "mp3",  "mp4", "m4a", "wav",
    "ogg", "webm", "woff",  "woff2", "ttf", "otf", "eot", "pdf",
};

std::string Lowered(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

}  // namespace

AssetRules DefaultAssetRules(std::string_view sourceTypeTrimmed) {
    AssetRules rules;
    rules.types.assign(std::begin(kDefaultTypes), std::end(kDefaultTypes));
    rules.sourceType = std::string(sourceTypeTrimmed);
    return rules;
}

AssetRules ChosenAssetRules(std::string_view sourceTypeTrimmed, const std::vector<std::string>& chosenTypes) {
    AssetRules rules = DefaultAssetRules(sourceTypeTrimmed);
    if (!chosenTypes.empty()) {
        rules.types = chosenTypes;
        rules.rootRobots = false;
    }
    return rules;
}

std::optional<std::vector<std::string>> ParseAssetTypes(std::string_view list, std::string& error) {
    std::vector<std::string> types;
    for (const std::string_view item : SplitKeepEmpty(list, ',')) {
        const std::string type = Lowered(TrimSpaces(item));
        if (type.empty()) continue;
        if (type.find_first_of("./\\") != std::string::npos) {
            error = "'" + type + "' is not an extension (give extensions without dots, e.g. css,png)";
            return std::nullopt;
        }
        if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
    }
    if (types.empty()) {
        error = "the list of static file types is empty";
        return std::nullopt;
    }
    return types;
}

std::string ClosedFolderReason(std::string_view name) {
    if (name.starts_with(".")) return "hidden folder";
    static constexpr std::string_view kClosed[] = {"WEB-INF", "META-INF", "CVS", "_notes"};
    for (const std::string_view closed : kClosed) {
        if (EqualsIgnoringAsciiCase(name, closed)) return "folder " + std::string(closed) + " is never published";
    }
    if (StartsWithIgnoringAsciiCase(name, 0, "_vti_")) return "folder _vti_* is never published";
    return {};
}

AssetDecision DecideAsset(std::string_view relativePath, const AssetRules& rules) {
    const std::vector<std::string_view> segments = SplitKeepEmpty(relativePath, '/');
    if (segments.empty() || segments.back().empty()) return {};
    const std::string_view name = segments.back();
    if (!rules.sourceType.empty() && IsSourcePageName(name, rules.sourceType)) return {};

    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string_view::npos ? std::string() : Lowered(name.substr(dot + 1));
    const bool listed = !extension.empty() && dot > 0 &&
                        std::find(rules.types.begin(), rules.types.end(), extension) != rules.types.end();
    const bool robots = rules.rootRobots && segments.size() == 1 && name == "robots.txt";
    if (!listed && !robots) return {};

    AssetDecision decision{AssetDecision::Kind::Copy, {}};
    // ".<type>." built by appending: GCC 12 at -O3 misreads "." + std::string as an overlapping copy.
    std::string disguise = TypeExtension(Lowered(rules.sourceType));
    disguise.push_back('.');
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const bool last = i + 1 == segments.size();
        if (last && name.starts_with(".")) {
            decision = {AssetDecision::Kind::Skip, "hidden file"};
        } else if (!last) {
            if (std::string why = ClosedFolderReason(segments[i]); !why.empty()) decision = {AssetDecision::Kind::Skip, why};
        }
        if (decision.kind == AssetDecision::Kind::Skip) break;
        if (!rules.sourceType.empty() && FindIgnoringAsciiCase(segments[i], disguise) != std::string_view::npos) {
            decision = {AssetDecision::Kind::Skip, "the name holds \"" + disguise + "\": a copy of a source page"};
            break;
        }
    }
    return decision;
}

}  // namespace quernfold

namespace quernfold {

std::string WhyLinkTargetIsClosed(std::string_view target, bool folder, const AssetRules& rules) {
    if (target.empty()) return {};
    std::string why;
    if (folder) {
        // A file in it stands for any file the folder may hold: the folders on the way decide.
        const std::string probe = std::string(target) + "/x.x";
        for (const std::string_view segment : SplitKeepEmpty(target, '/')) {
            why = ClosedFolderReason(segment);
            if (!why.empty()) break;
        }
        if (why.empty()) {
            const AssetDecision decision = DecideAsset(probe, AssetRules{{"x"}, false, rules.sourceType});
            if (decision.kind == AssetDecision::Kind::Skip) why = decision.why;
        }
    } else {
        const AssetDecision decision = DecideAsset(target, rules);
        if (decision.kind == AssetDecision::Kind::Skip) why = decision.why;
        if (decision.kind == AssetDecision::Kind::Ignore) why = "not a static file";
    }
    if (why.empty()) return {};
    return "a link to " + std::string(target) + ": " + why;
}

}  // namespace quernfold
