#include "engine/platform/FileSystem.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace quernfold {

std::optional<PathInfo> LookAt(const std::string& path, Links links) {
    struct stat info {};
    const int status = links == Links::Follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (status != 0) return std::nullopt;
    PathInfo result;
    result.kind = S_ISREG(info.st_mode) ? EntryKind::File : S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::Other;
    result.isLink = S_ISLNK(info.st_mode);
    result.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return result;
}

std::string RealPathOf(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadOutcome::Missing;
        }
        error = "cannot open " + path + ": " + std::strerror(errno);
        return ReadOutcome::Failed;
    }
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return ReadOutcome::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ReadOutcome::Ok;
}

std::string UserSettingsFolder() {
    std::filesystem::path base;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && std::filesystem::path(configHome).is_absolute()) {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            const passwd* entry = ::getpwuid(::getuid());
            home = entry != nullptr ? entry->pw_dir : "/";
        }
        base = std::filesystem::path(home) / ".config";
    }
    return (base / "quernfold").string();
}

unsigned ProcessorsOnline() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

}  // namespace quernfold
