#pragma once

#include <string>
#include <string_view>

#include "engine/run/SettingsStore.h"

namespace quernfold {

/**
 * The settings store over one INI file. It keeps nothing in memory: every call reads the file, so a value
 * written is seen by the next read, and whatever else the file holds is written back as it was.
 */
class Rwini final : public SettingsStore {
public:
    explicit Rwini(std::string path);

    std::string ReadIni(std::string_view section, std::string_view key, std::string_view defaultValue) override;
    void WriteIni(std::string_view section, std::string_view key, std::string_view value) override;
    std::optional<std::string> PeekIni(std::string_view section, std::string_view key) override;

    const std::string& Path() const { return m_path; }
    /** Why the last write did not happen ("" when it did); the store's callers get no error, this is for logs. */
    const std::string& LastError() const { return m_lastError; }

private:
    std::string m_path;
    std::string m_lastError;
};

/**
 * Where the window keeps its settings: $XDG_CONFIG_HOME/quernfold/config.ini, or ~/.config/quernfold/config.ini
 * when the variable is unset or not an absolute path. The folder is created when missing.
 */
std::string DefaultConfigPath();

}  // namespace quernfold
