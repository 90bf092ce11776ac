#include "engine/site/SiteWalk.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>
#include <vector>

#include "engine/output/PathRules.h"
#include "engine/site/DepthFirst.h"
#include "engine/text/AsciiText.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

struct PendingFolder {
    std::string path;      // ends in the separator
    std::string relative;  // '/'-separated below the root, ending in '/'; empty for the root
    FileId id;             // as its parent's listing gave it; unknown for the root
};

struct Walk {
    SiteFiles& files;
    const WalkRules& rules;
    std::unordered_set<FileId, FileIdHash> foldersSeen;

    void Unreadable(const std::string& folder, const std::string& reason) const {
        if (!rules.unreadable) throw WalkError(folder, reason);
        rules.unreadable(folder, reason);
    }

    // Lists one folder: its files go to the rules, its sub-folders are returned in order.
    std::vector<PendingFolder> ListFolder(const PendingFolder& folder) {
        FolderListing listing;
        try {
            listing = files.ListFolder(folder.path);
        } catch (const FileError& failure) {
            Unreadable(folder.path, failure.what());
            return {};
        }
        std::vector<PendingFolder> subFolders;
        // Swapped since its parent was listed for a folder already walked: the first walk of it stands.
        if (listing.id.Known() && !(listing.id == folder.id) && !foldersSeen.insert(listing.id).second) {
            return subFolders;
        }
        std::sort(listing.entries.begin(), listing.entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
            return ListingOrder(a.name, b.name);
        });
        for (const FolderEntry& entry : listing.entries) {
            const std::string path = folder.path + entry.name;
            const std::string relative = folder.relative + entry.name;
            if (entry.kind == EntryKind::Folder) {
                if (rules.enter && !rules.enter(path + kNativeSeparator, relative + '/', entry)) continue;
                if (!entry.id.Known() || foldersSeen.insert(entry.id).second) {
                    subFolders.push_back({path + kNativeSeparator, relative + '/', entry.id});
                }
            } else if (entry.kind == EntryKind::File && rules.file) {
                rules.file(path, relative, entry);
            }
        }
        return subFolders;
    }
};

}  // namespace

bool ListingOrder(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

void WalkSite(SiteFiles& files, const std::string& root, const WalkRules& rules) {
    Walk walk{files, rules, {}};
    const std::string folder = WithTrailingSeparator(root, kNativeSeparator);
    const EntryKind rootKind = files.Kind(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder);
    if (rootKind != EntryKind::Folder) {
        walk.Unreadable(folder, SystemReason(rootKind == EntryKind::Missing ? ENOENT : ENOTDIR));
        return;
    }
    VisitDepthFirst(PendingFolder{folder, {}, {}}, [&](const PendingFolder& pending) { return walk.ListFolder(pending); });
}

}  // namespace quernfold
