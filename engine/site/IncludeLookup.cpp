#include "engine/site/IncludeLookup.h"

#include <vector>

#include "engine/text/AsciiText.h"
#include "engine/output/PathRules.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

bool IncludeLookup::Reachable(const std::string& path) const {
    if (root.empty()) return true;
    // The root itself counts too: a plain name below a path is inside the root exactly when the path is in it or
    // is it.
    std::string below = path;
    below.push_back(separator);
    below.push_back('x');
    return IsInsideRoot(below, root, separator);
}

std::optional<std::string> IncludeLookup::Find(const std::string& path) const {
    if (!Reachable(path)) return std::nullopt;
    if (files.Kind(path) != EntryKind::Missing) return path;
    if (auto found = FindIgnoringCase(path)) return found;
    const std::size_t slash = path.rfind(separator);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string undone =
        path.substr(0, nameStart) + UndoExtensionRewrite(path.substr(nameStart), sourceType, outputType);
    if (undone == path || !Reachable(undone)) return std::nullopt;
    if (files.Kind(undone) != EntryKind::Missing) return undone;
    return FindIgnoringCase(undone);
}

std::optional<std::string> IncludeLookup::FindTarget(const std::string& resolved, const std::string& cleaned,
                                                     bool tryRaw, const std::string& pageDir) const {
    std::optional<std::string> found = Find(resolved);
    if (!found && tryRaw) {
        const std::string rawPath = ResolveIncludePath(cleaned, pageDir, std::string(root), separator);
        if (IsInsideRoot(rawPath, root, separator)) found = Find(rawPath);
    }
    return found;
}

std::optional<std::string> IncludeLookup::FindIgnoringCase(const std::string& path) const {
    // Most often only the file name is spelled differently: when its folder exists as spelled, one listing
    // decides, instead of a look-up of every segment from the root.
    if (const std::size_t slash = path.rfind(separator); slash != std::string::npos) {
        const std::string folder = slash == 0 ? std::string(1, separator) : path.substr(0, slash);
        if (!Reachable(folder)) return std::nullopt;
        if (files.Kind(folder) == EntryKind::Folder) {
            const std::string_view name = std::string_view(path).substr(slash + 1);
            if (name.empty() || name == "." || name == "..") return std::nullopt;
            const std::optional<std::string> match = files.FindIgnoringCase(folder, name);
            if (!match) return std::nullopt;
            return path.substr(0, slash + 1) + *match;
        }
    }
    const std::vector<std::string_view> pieces = SplitKeepEmpty(path, separator);
    // A relative path starts in the working folder; an absolute one at the root (its first piece is empty).
    std::string current;
    bool changed = false;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string_view piece = pieces[i];
        std::string next = i == 0 ? std::string(piece) : current + separator + std::string(piece);
        // The folders above the root are walked through by name; below it, nothing outside it is looked at.
        const bool aboveRoot = root.starts_with(next) && (root.size() == next.size() || root[next.size()] == separator);
        if (i > 0 && !aboveRoot && !Reachable(next)) return std::nullopt;
        if (piece.empty() || piece == "." || piece == ".." || files.Kind(next) != EntryKind::Missing) {
            current = std::move(next);
            continue;
        }
        const std::string folder = i == 0 ? std::string() : current.empty() ? std::string(1, separator) : current;
        const std::optional<std::string> match = files.FindIgnoringCase(folder, piece);
        if (!match) return std::nullopt;
        current = i == 0 ? *match : current + separator + *match;
        changed = true;
    }
    return changed ? std::optional<std::string>(current) : std::nullopt;
}

}  // namespace quernfold
