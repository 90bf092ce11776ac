#include "engine/platform/windows/SystemMessage.h"

#include <windows.h>

#include "engine/platform/windows/WideText.h"

namespace quernfold {

std::string WindowsReason(std::uint32_t errorCode) {
    wchar_t* text = nullptr;
    // Language 0: the thread's, then the user's, then the system's language, as Windows' own programs show it.
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        errorCode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : std::wstring();
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    std::optional<std::string> utf8 = Utf8FromWide(message);
    if (!utf8 || utf8->empty()) return "error " + std::to_string(errorCode);
    return *utf8;
}

std::string LastWindowsReason() { return WindowsReason(::GetLastError()); }

}  // namespace quernfold
