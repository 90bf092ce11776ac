#pragma once

#include <string>

namespace quernfold {

class SettingsStore;

namespace win32 {

/** %APPDATA%\Quernfold\config.ini, its folder made when missing; "" when the system names no such folder. */
std::string WindowsConfigPath();

/**
 * On a first start (no config.ini of ours yet), the four choices stored where the old program kept them: the
 * bare "config.ini" the profile service resolves, first in the VirtualStore (where Windows redirected an old
 * program's writes), then in the Windows folder. Read once, in the ANSI code page; never written there.
 * Returns the file read, or "" when there was none.
 */
std::string ImportOldSettings(const std::string& configPath, SettingsStore& settings);

}  // namespace win32
}  // namespace quernfold
