#include "settings/Rwini.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include "engine/platform/posix/OutputFile.h"
#include "settings/IniFile.h"

namespace quernfold {

namespace {

enum class ReadStatus { Ok, Missing, Failed };

/** Reads a whole file; Missing when it does not exist, Failed (with the system's reason) for any other error. */
ReadStatus ReadFileContents(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadStatus::Missing;
        }
        error = "cannot open " + path + ": " + std::strerror(errno);
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
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return ReadStatus::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

}  // namespace

Rwini::Rwini(std::string path) : m_path(std::move(path)) {}

std::string Rwini::ReadIni(std::string_view section, std::string_view key, std::string_view defaultValue) {
    std::string bytes;
    std::string error;
    if (ReadFileContents(m_path, bytes, error) == ReadStatus::Ok) {
        auto value = IniFile::Parse(bytes).Value(section, key);
        if (value && !value->empty()) {
            return *value;
        }
    }
    // An absent or empty value is replaced by the default, which is stored at once.
    WriteIni(section, key, defaultValue);
    return std::string(defaultValue);
}

std::optional<std::string> Rwini::PeekIni(std::string_view section, std::string_view key) {
    std::string bytes;
    std::string error;
    if (ReadFileContents(m_path, bytes, error) != ReadStatus::Ok) return std::nullopt;
    return IniFile::Parse(bytes).Value(section, key);
}

void Rwini::WriteIni(std::string_view section, std::string_view key, std::string_view value) {
    std::string bytes;
    std::string error;
    const auto status = ReadFileContents(m_path, bytes, error);
    if (status == ReadStatus::Failed) {
        // A file we cannot read is not ours to replace.
        m_lastError = error;
        return;
    }
    auto file = IniFile::Parse(status == ReadStatus::Ok ? bytes : std::string());
    file.SetValue(section, key, value);
    try {
        // A link stays a link, the mode stays, a file the user made read-only is left alone, and a writable file
        // in a folder the user may not change is rewritten where it stands.
        WriteFileAtomically(m_path, file.Text(), WritePolicy::Settings());
        m_lastError.clear();
    } catch (const std::exception& failure) {
        m_lastError = "cannot write " + m_path + ": " + failure.what();
    }
}

std::string DefaultConfigPath() {
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
    const auto folder = base / "quernfold";
    std::error_code ec;
    // A folder that cannot be made shows up later as a write that fails silently, as the store's writes do.
    std::filesystem::create_directories(folder, ec);
    return (folder / "config.ini").string();
}

}  // namespace quernfold
