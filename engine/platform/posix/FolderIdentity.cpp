#include "engine/platform/FolderIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/output/PathRules.h"

namespace quernfold {

namespace {

constexpr int kMaxClimb = 4096;  // deeper than any path the kernel accepts

FileId IdOf(const struct stat& info) { return {static_cast<std::uint64_t>(info.st_dev), info.st_ino}; }

// Opens path, or its nearest ancestor that exists, as a folder to climb from; -1 when none can be opened.
int OpenNearestFolder(std::string path) {
    const bool absolute = !path.empty() && path.front() == kNativeSeparator;
    for (;;) {
        if (path.empty()) path = absolute ? std::string(1, kNativeSeparator) : ".";
        const int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 || path == "." || path == std::string(1, kNativeSeparator)) return fd;
        while (path.size() > 1 && path.back() == kNativeSeparator) path.pop_back();
        path = ParentDir(path, kNativeSeparator);
    }
}

}  // namespace

std::optional<FileId> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return IdOf(info);
}

bool LiesInOneOf(const std::string& path, const std::unordered_set<FileId, FileIdHash>& folders) {
    int fd = OpenNearestFolder(path);
    if (fd < 0) return false;
    bool found = false;
    for (int step = 0; step < kMaxClimb; ++step) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) break;
        if (folders.count(IdOf(info))) {
            found = true;
            break;
        }
        const int parent = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat above {};
        if (parent < 0 || ::fstat(parent, &above) != 0 || IdOf(above) == IdOf(info)) {
            if (parent >= 0) ::close(parent);
            break;  // the root of the file system
        }
        ::close(fd);
        fd = parent;
    }
    ::close(fd);
    return found;
}


}  // namespace quernfold
