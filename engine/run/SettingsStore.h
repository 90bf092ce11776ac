#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quernfold {

/** Where the four choices persist between runs: "config.ini", section "sys". The CLI uses none. */
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    /** The stored value, or defaultValue when the key is absent or empty (then defaultValue is written back). */
    virtual std::string ReadIni(std::string_view section, std::string_view key, std::string_view defaultValue) = 0;

    /** The stored value as it stands, without writing anything back; nullopt when absent or unreadable. */
    virtual std::optional<std::string> PeekIni(std::string_view section, std::string_view key) {
        (void)section;
        (void)key;
        return std::nullopt;
    }

    /** Stores value under section and key; a failure is silent, as the settings store reports none. */
    virtual void WriteIni(std::string_view section, std::string_view key, std::string_view value) = 0;
};

}  // namespace quernfold
