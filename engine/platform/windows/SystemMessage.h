#pragma once

#include <cstdint>
#include <string>

namespace quernfold {

/**
 * The system's own description of a Win32 error code (GetLastError), in UTF-8 and in the language Windows uses
 * for its messages (Chinese on a Chinese Windows), without the line break the system ends it with. "error N"
 * when the system has no text for the code.
 */
std::string WindowsReason(std::uint32_t errorCode);

/** WindowsReason(GetLastError()). */
std::string LastWindowsReason();

}  // namespace quernfold
