#include "settings/Rwini.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <utility>

#include "engine/platform/AtomicFile.h"
#include "engine/platform/FileSystem.h"
#include "settings/IniFile.h"

namespace quernfold {

Rwini::Rwini(std::string path) : m_path(std::move(path)) {}

std::string Rwini::ReadIni(std::string_view section, std::string_view key, std::string_view defaultValue) {
    std::string bytes;
    std::string error;
    if (ReadWholeFile(m_path, bytes, error) == ReadOutcome::Ok) {
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
    if (ReadWholeFile(m_path, bytes, error) != ReadOutcome::Ok) return std::nullopt;
    return IniFile::Parse(bytes).Value(section, key);
}

void Rwini::WriteIni(std::string_view section, std::string_view key, std::string_view value) {
    std::string bytes;
    std::string error;
    const auto status = ReadWholeFile(m_path, bytes, error);
    if (status == ReadOutcome::Failed) {
        // A file we cannot read is not ours to replace.
        m_lastError = error;
        return;
    }
    auto file = IniFile::Parse(status == ReadOutcome::Ok ? bytes : std::string());
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
    const std::filesystem::path folder = UserSettingsFolder();
    std::error_code ec;
    // A folder that cannot be made shows up later as a write that fails silently, as the store's writes do.
    std::filesystem::create_directories(folder, ec);
    return (folder / "config.ini").string();
}

}  // namespace quernfold
