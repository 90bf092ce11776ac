#include "engine/site/AssetWalker.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <unordered_set>

#include "engine/site/DepthFirst.h"
#include "engine/text/Errors.h"
#include "engine/output/PathRules.h"
#include "engine/site/SourceWalker.h"

namespace quernfold {

namespace {

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

FileId IdOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), info.st_ino};
}

struct Walk {
    const std::string& siteRoot;
    const AssetRules& rules;
    std::optional<FileId> skipFolder;
    std::string realRoot;
    std::unordered_set<FileId, FileIdHash> foldersSeen;
    AssetListing listing;

    bool LeadsOutside(const std::string& linkPath) const {
        const std::string real = RealPath(linkPath);
        return real.empty() || (real != realRoot && !IsInsideRoot(real, realRoot + kNativeSeparator, kNativeSeparator));
    }

    // Lists one folder (relative ends in '/' or is empty): its files are decided, its sub-folders returned.
    std::vector<std::string> ListFolder(const std::string& relative) {
        const std::string folder = siteRoot + relative;
        struct Entry {
            std::string name;
            unsigned char type;
        };
        std::vector<Entry> entries;
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            listing.unreadable.push_back({folder, SystemReason(errno)});
            return {};
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") entries.push_back({std::string(name), entry->d_type});
            errno = 0;
        }
        const int readError = errno;
        ::closedir(dir);
        if (readError != 0) listing.unreadable.push_back({folder, SystemReason(readError)});
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return ListingOrder(a.name, b.name); });

        std::vector<std::string> subFolders;
        for (const auto& [name, type] : entries) {
            const std::string path = folder + name;
            struct stat info {};
            // The listing says what a plain file is; folders (for their identity) and the rest are asked.
            if (type == DT_REG) {
                info.st_mode = S_IFREG;
            } else if (::lstat(path.c_str(), &info) != 0) {
                continue;
            }
            if (S_ISLNK(info.st_mode)) {
                if (::stat(path.c_str(), &info) != 0 || LeadsOutside(path)) continue;
            }
            if (S_ISDIR(info.st_mode)) {
                if (skipFolder && IdOf(info) == *skipFolder) continue;
                if (const std::string why = ClosedFolderReason(name); !why.empty()) {
                    // Hidden folders (.svn, .git) are everywhere and never meant for the web: not worth a line.
                    if (!name.starts_with(".")) listing.skipped.push_back({path + kNativeSeparator, why});
                    continue;
                }
                if (foldersSeen.insert(IdOf(info)).second) subFolders.push_back(relative + name + '/');
            } else if (S_ISREG(info.st_mode)) {
                const AssetDecision decision = DecideAsset(relative + name, rules);
                if (decision.kind == AssetDecision::Kind::Copy) {
                    listing.files.push_back({path, relative + name});
                } else if (decision.kind == AssetDecision::Kind::Skip) {
                    listing.skipped.push_back({path, decision.why});
                }
            }
        }
        return subFolders;
    }
};

}  // namespace

AssetListing CollectAssets(const std::string& siteRoot, const AssetRules& rules, std::optional<FileId> skipFolder) {
    const std::string root = WithTrailingSeparator(siteRoot, kNativeSeparator);
    Walk walk{root, rules, skipFolder, RealPath(root), {}, {}};
    struct stat info {};
    if (::stat(root.c_str(), &info) != 0) {
        walk.listing.unreadable.push_back({root, SystemReason(errno)});
        return std::move(walk.listing);
    }
    walk.foldersSeen.insert(IdOf(info));

    // In the order the pages are walked.
    VisitDepthFirst(std::string(), [&](const std::string& folder) { return walk.ListFolder(folder); });
    return std::move(walk.listing);
}

}  // namespace quernfold
