#include "engine/platform/windows/WideText.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace quernfold {

std::optional<std::wstring> WideFromUtf8(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    if (utf8.size() > INT_MAX) return std::nullopt;
    const int size = static_cast<int>(utf8.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (needed <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), needed) != needed) {
        return std::nullopt;
    }
    return wide;
}

std::optional<std::string> Utf8FromWide(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    if (wide.size() > INT_MAX / 3) return std::nullopt;
    const int size = static_cast<int>(wide.size());
    // A lone surrogate (NTFS allows them in names) has no UTF-8 form: refused, not replaced.
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::nullopt;
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), needed, nullptr,
                              nullptr) != needed) {
        return std::nullopt;
    }
    return utf8;
}

std::string WithBackslashes(std::string_view path) {
    std::string result(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";

std::optional<std::wstring> FullPath(const std::wstring& path) {
    DWORD capacity = MAX_PATH;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring full(capacity, L'\0');
        const DWORD length = ::GetFullPathNameW(path.c_str(), capacity, full.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < capacity) {
            full.resize(length);
            return full;
        }
        capacity = length;  // the size needed, terminator included
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> ExtendedPath(std::string_view utf8Path) {
    std::optional<std::wstring> wide = WideFromUtf8(utf8Path);
    if (!wide || wide->empty()) return std::nullopt;
    // Only "\\?\" exactly: "//?/" is an ordinary path to GetFullPathNameW.
    if (wide->starts_with(kExtendedPrefix)) return wide;
    std::optional<std::wstring> full = FullPath(*wide);
    if (!full) return std::nullopt;
    if (full->starts_with(L"\\\\.\\")) return full;  // a device (\\.\COM1, \\.\pipe\...): no prefix applies
    if (full->starts_with(L"\\\\")) return std::wstring(kExtendedUncPrefix) + full->substr(2);
    return std::wstring(kExtendedPrefix) + *full;
}

}  // namespace quernfold
