#include "engine/SourceWalker.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "engine/AsciiText.h"
#include "engine/Errors.h"
#include "engine/PathRules.h"
#include "engine/Utf8.h"

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

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

struct Walk {
    std::string_view sourceType;
    std::vector<std::string>& fileList;
    std::unordered_set<FileId, FileIdHash>* pageIds;
    std::unordered_set<FileId, FileIdHash> foldersSeen;
    std::string realRoot;

    bool LeadsOutside(const std::string& linkPath) const {
        const std::string real = RealPath(linkPath);
        return real.empty() || (real != realRoot && !IsInsideRoot(real, realRoot + kNativeSeparator, kNativeSeparator));
    }

    // Lists one folder: its pages go to the list, its sub-folders are returned in order.
    std::vector<std::string> ListFolder(const std::string& folder) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) throw WalkError(folder, SystemReason(errno));
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
            errno = 0;
        }
        const int readError = errno;
        ::closedir(dir);
        if (readError != 0) throw WalkError(folder, SystemReason(readError));
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return ListingOrder(a, b);
        });

        std::vector<std::string> subFolders;
        for (const std::string& name : names) {
            const std::string path = folder + name;
            struct stat link {};
            if (::lstat(path.c_str(), &link) != 0) {
                if (errno == ENOENT) continue;  // vanished since the listing
                throw WalkError(folder, SystemReason(errno));
            }
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0) {
                if (S_ISLNK(link.st_mode)) continue;  // a broken link
                throw WalkError(folder, SystemReason(errno));
            }
            if (S_ISLNK(link.st_mode) && LeadsOutside(path)) continue;
            const FileId id{static_cast<std::uint64_t>(info.st_dev), info.st_ino};
            if (S_ISDIR(info.st_mode)) {
                if (foldersSeen.insert(id).second) subFolders.push_back(path + kNativeSeparator);
            } else if (S_ISREG(info.st_mode) && IsSourcePageName(name, sourceType)) {
                fileList.push_back(path);
                if (pageIds) pageIds->insert(id);
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

void CollectSourceFiles(const std::string& folder, std::string_view sourceType, std::vector<std::string>& fileList,
                        std::unordered_set<FileId, FileIdHash>* pageIds) {
    Walk walk{sourceType, fileList, pageIds, {}, {}};
    const std::string root = WithTrailingSeparator(folder, kNativeSeparator);
    struct stat info {};
    if (::stat(root.c_str(), &info) != 0) throw WalkError(root, SystemReason(errno));
    if (!S_ISDIR(info.st_mode)) throw WalkError(root, SystemReason(ENOTDIR));
    walk.foldersSeen.insert({static_cast<std::uint64_t>(info.st_dev), info.st_ino});
    walk.realRoot = RealPath(root);

    // Depth first without recursion, so a deep tree cannot exhaust the stack.
    std::vector<std::vector<std::string>> pending;
    pending.push_back({root});
    std::vector<std::size_t> next{0};
    while (!pending.empty()) {
        if (next.back() == pending.back().size()) {
            pending.pop_back();
            next.pop_back();
            continue;
        }
        const std::string current = pending.back()[next.back()++];
        std::vector<std::string> subFolders = walk.ListFolder(current);
        if (!subFolders.empty()) {
            pending.push_back(std::move(subFolders));
            next.push_back(0);
        }
    }
}

}  // namespace quernfold
