#include "tests/support/Sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace quernfold::test_support {

namespace {

// Removes everything inside the folder open as dirFd, relative to it, so no path ever grows long: a test may
// build a tree deeper than the system's path limit, and chmod 000 folders are opened up first.
void RemoveContents(int dirFd) {
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            ::fchmodat(dirFd, name.c_str(), 0700, 0);
            const int child = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) RemoveContents(child);
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

}  // namespace

Sandbox::Sandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quernfold-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    m_root = pattern;
}

Sandbox::~Sandbox() {
    ::chmod(m_root.c_str(), 0700);
    const int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) RemoveContents(fd);
    ::rmdir(m_root.c_str());
}

}  // namespace quernfold::test_support
