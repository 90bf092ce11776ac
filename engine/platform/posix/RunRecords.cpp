#include "engine/platform/RunRecords.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace quernfold {

namespace {

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::filesystem::path CacheFolder() {
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && std::filesystem::path(cacheHome).is_absolute()) {
        return std::filesystem::path(cacheHome) / "quernfold";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".cache" / "quernfold";
}

}  // namespace

std::optional<FileStamp> StampAt(const std::string& path, bool followLinks) {
    struct stat info {};
    if ((followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) return std::nullopt;
    return FileStamp{{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)},
                     static_cast<std::uint64_t>(info.st_size),
                     Nanoseconds(info.st_mtim),
                     Nanoseconds(info.st_ctim)};
}

std::optional<std::string> RunRecordPath(const std::string& outputRoot) {
    struct stat info {};
    if (::stat(outputRoot.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    const std::string name = std::to_string(static_cast<std::uint64_t>(info.st_dev)) + "-" +
                             std::to_string(static_cast<std::uint64_t>(info.st_ino)) + ".run";
    return (CacheFolder() / "runs" / name).string();
}

std::function<std::ptrdiff_t(char*, std::size_t)> OpenRunRecord(const std::string& recordPath) {
    const int fd = ::open(recordPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    const std::shared_ptr<int> file(new int(fd), [](const int* held) {
        ::close(*held);
        delete held;
    });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return [file](char* into, std::size_t size) -> std::ptrdiff_t {
        for (;;) {
            const ssize_t n = ::read(*file, into, size);
            if (n >= 0) return n;
            if (errno != EINTR) return -1;
        }
    };
}

bool MakeRunRecordFolder(const std::string& recordPath) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(recordPath).parent_path();
    std::filesystem::create_directories(folder, error);
    return !error && std::filesystem::is_directory(folder, error);
}

}  // namespace quernfold
