#include "settings/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quernfold {

namespace {

std::string SystemReason(const std::string& step, const std::string& path, int code) {
    return step + " " + path + ": " + std::strerror(code);
}

/** The file a write really replaces: the final target of a symbolic link, else the path itself. */
std::string WriteTarget(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) {
        return path;
    }
    auto target = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : target.string();
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

/** Makes the rename itself durable; a failure here leaves a complete file either way, so it is not reported. */
void SyncFolderOf(const std::string& path) {
    const auto folder = std::filesystem::path(path).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

ReadStatus ReadFileContents(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadStatus::Missing;
        }
        error = SystemReason("cannot open", path, errno);
        return ReadStatus::Failed;
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
            error = SystemReason("cannot read", path, errno);
            ::close(fd);
            return ReadStatus::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error) {
    const std::string target = WriteTarget(path);
    std::string tempName = target + ".XXXXXX";
    std::vector<char> templ(tempName.begin(), tempName.end());
    templ.push_back('\0');
    const int fd = ::mkstemp(templ.data());
    if (fd < 0) {
        error = SystemReason("cannot create a temporary file for", target, errno);
        return false;
    }
    tempName = templ.data();

    const auto fail = [&](const std::string& step, int code, bool open) {
        if (open) {
            ::close(fd);
        }
        ::unlink(tempName.c_str());
        error = SystemReason(step, tempName, code);
        return false;
    };

    // mkstemp makes the file private; an existing file keeps the permissions it had.
    struct stat existing {};
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0) {
        return fail("cannot set the permissions of", errno, true);
    }
    if (!WriteAll(fd, bytes)) {
        return fail("cannot write", errno, true);
    }
    if (::fsync(fd) != 0) {
        return fail("cannot sync", errno, true);
    }
    if (::close(fd) != 0) {
        return fail("cannot close", errno, false);
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        return fail("cannot rename", errno, false);
    }
    SyncFolderOf(target);
    return true;
}

}  // namespace quernfold
