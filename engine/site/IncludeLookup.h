#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quernfold {

class SiteFiles;

/**
 * Finds the file an include names when it does not exist as spelled: a site written on Windows often spells
 * "Inc/Head.asp" for inc/head.asp, and the extension rewrite turns "top.jsp" into top.html, which the site does
 * not have. Tried in order: as spelled; ignoring ASCII case, segment by segment (a unique match); the last
 * segment with the rewrite undone, as spelled and then ignoring case.
 */
struct IncludeLookup {
    SiteFiles& files;
    char separator;
    std::string_view sourceType;  // trimmed
    std::string_view outputType;  // trimmed
    // When set, no path that leaves it on the way (".." past it, even one that comes back) is looked at: such a
    // path counts as missing.
    std::string_view root = {};

    /** The path of the file found, or nullopt. What is found may be any kind of entry (the open checks it). */
    std::optional<std::string> Find(const std::string& path) const;

    /**
     * The file an include directive names: resolved (the target as spelled, against pageDir) looked up; when it
     * is not found and tryRaw is set, cleaned (the target in the page's own code page) resolved and looked up too,
     * for a site unpacked from a Windows archive that keeps file names in the page's code page.
     */
    std::optional<std::string> FindTarget(const std::string& resolved, const std::string& cleaned, bool tryRaw,
                                          const std::string& pageDir) const;

private:
    std::optional<std::string> FindIgnoringCase(const std::string& path) const;
    bool Reachable(const std::string& path) const;
};

}  // namespace quernfold
