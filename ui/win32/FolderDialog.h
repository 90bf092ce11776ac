#pragma once

#include <string>

#include <windows.h>

namespace quernfold::win32 {

/**
 * The system's folder dialog (IFileOpenDialog picking folders, file-system folders only), modal to owner, with
 * title, opened at the folder boxText names when it exists: the chosen folder's path, or "" when cancelled.
 */
std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& boxText);

}  // namespace quernfold::win32
