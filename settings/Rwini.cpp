#include "settings/Rwini.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

#include <pwd.h>
#include <unistd.h>

#include "settings/AtomicFile.h"
#include "settings/IniFile.h"

namespace quernfold {

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
    if (ReplaceFileContents(m_path, file.Text(), error)) {
        m_lastError.clear();
    } else {
        m_lastError = error;
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
