#include "engine/site/SourceWalker.h"

#include <algorithm>
#include <cerrno>

#include "engine/text/AsciiText.h"
#include "engine/site/DepthFirst.h"
#include "engine/platform/posix/DiskSiteFiles.h"
#include "engine/text/Errors.h"
#include "engine/output/PathRules.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

// Offset of the start of the last `count` characters of a UTF-8 name (bytes that are not UTF-8 count one each).
std::size_t LastCharactersStart(std::string_view name, std::size_t count) {
    std::size_t at = name.size();
    while (count > 0 && at > 0) {
        --at;
        std::size_t back = 0;
        while (at > 0 && back < 3 && IsUtf8Continuation(static_cast<unsigned char>(name[at]))) {
            --at;
            ++back;
        }
        if (back > 0 && static_cast<unsigned char>(name[at]) < 0xC0) at += back;  // stray continuation bytes
        --count;
    }
    return count == 0 ? at : std::string_view::npos;
}

struct PendingFolder {
    std::string path;  // ends in the separator
    FileId id;         // as its parent's listing gave it; unknown for the root
};

struct Walk {
    SiteFiles& files;
    std::string_view sourceType;
    std::vector<std::string>& fileList;
    std::unordered_set<FileId, FileIdHash>* pageIds;
    std::unordered_set<FileId, FileIdHash> foldersSeen;

    // Lists one folder: its pages go to the list, its sub-folders are returned in order.
    std::vector<PendingFolder> ListFolder(const PendingFolder& folder) {
        FolderListing listing;
        try {
            listing = files.ListFolder(folder.path);
        } catch (const FileError& failure) {
            throw WalkError(folder.path, failure.what());
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
            if (entry.kind == EntryKind::Folder) {
                if (!entry.id.Known() || foldersSeen.insert(entry.id).second) {
                    subFolders.push_back({folder.path + entry.name + kNativeSeparator, entry.id});
                }
            } else if (entry.kind == EntryKind::File && IsSourcePageName(entry.name, sourceType)) {
                fileList.push_back(folder.path + entry.name);
                if (pageIds && entry.id.Known()) pageIds->insert(entry.id);
            }
        }
        return subFolders;
    }
};

}  // namespace

bool IsSourcePageName(std::string_view name, std::string_view sourceType) {
    if (sourceType.empty()) return true;
    const std::size_t start = LastCharactersStart(name, 3);
    if (start == std::string_view::npos) return false;
    const std::string_view tail = name.substr(start);
    if (tail.size() != sourceType.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (UpperAscii(tail[i]) != UpperAscii(sourceType[i])) return false;
    }
    return true;
}

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

void CollectSourceFiles(SiteFiles& files, const std::string& folder, std::string_view sourceType,
                        std::vector<std::string>& fileList, std::unordered_set<FileId, FileIdHash>* pageIds) {
    Walk walk{files, sourceType, fileList, pageIds, {}};
    const std::string root = WithTrailingSeparator(folder, kNativeSeparator);
    const EntryKind rootKind = files.Kind(root.size() > 1 ? root.substr(0, root.size() - 1) : root);
    if (rootKind == EntryKind::Missing) throw WalkError(root, SystemReason(ENOENT));
    if (rootKind != EntryKind::Folder) throw WalkError(root, SystemReason(ENOTDIR));

    VisitDepthFirst(PendingFolder{root, {}}, [&](const PendingFolder& folder) { return walk.ListFolder(folder); });
}

void CollectSourceFiles(const std::string& folder, std::string_view sourceType, std::vector<std::string>& fileList,
                        std::unordered_set<FileId, FileIdHash>* pageIds) {
    DiskSiteFiles files(WithTrailingSeparator(folder, kNativeSeparator));
    CollectSourceFiles(files, folder, sourceType, fileList, pageIds);
}

}  // namespace quernfold
