#include "engine/platform/Transcode.h"

#include <windows.h>

#include <climits>

#include "engine/platform/windows/WideText.h"
#include "engine/text/AsciiText.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

// The Windows code pages of the page code pages, as the ANSI calls of a Chinese, Taiwanese or Japanese Windows
// read names: 932 keeps 0x5C a backslash, which matters in paths.
UINT WindowsCodePage(CodePage cp) {
    switch (cp) {
        case CodePage::Gbk:
            return 936;
        case CodePage::Gb18030:
            return 54936;
        case CodePage::Big5:
            return 950;
        case CodePage::ShiftJis:
            return 932;
        case CodePage::SingleByte:
            return 28591;  // ISO-8859-1: every byte is one character
        case CodePage::Utf8:
            break;
    }
    return CP_UTF8;
}

std::optional<std::wstring> WideFromCodePage(UINT codePage, std::string_view text) {
    if (text.size() > INT_MAX) return std::nullopt;
    const int size = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (needed <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), needed) != needed) {
        return std::nullopt;
    }
    return wide;
}

std::optional<std::string> CodePageFromWide(UINT codePage, std::wstring_view wide) {
    if (wide.size() > INT_MAX / 4) return std::nullopt;
    const int size = static_cast<int>(wide.size());
    // GB18030 reaches every character, and the system takes no default character for it; the others must not
    // put a look-alike ("best fit") or '?' where a character has no form, so that is asked for and checked.
    const bool complete = codePage == 54936;
    const DWORD flags = complete ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = complete ? nullptr : &usedDefault;
    const int needed = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefaultOut);
    if (needed <= 0 || usedDefault) return std::nullopt;
    std::string text(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), needed, nullptr, usedDefaultOut) !=
            needed ||
        usedDefault) {
        return std::nullopt;
    }
    return text;
}

bool IsAscii(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    return SkipAsciiBytes(data, 0, text.size()) == text.size();
}

}  // namespace

std::optional<std::string> ToUtf8(CodePage cp, std::string_view text) {
    if (IsAscii(text)) return std::string(text);  // every supported code page is ASCII-compatible
    if (cp == CodePage::Utf8) {
        return IsValidUtf8(text) ? std::optional<std::string>(std::string(text)) : std::nullopt;
    }
    const std::optional<std::wstring> wide = WideFromCodePage(WindowsCodePage(cp), text);
    if (!wide) return std::nullopt;
    return Utf8FromWide(*wide);
}

bool CanConvert(CodePage cp) {
    // Windows has every one of them; a system (or a Wine) without GB18030 says so here.
    return cp == CodePage::Utf8 || ::IsValidCodePage(WindowsCodePage(cp));
}

std::optional<std::string> FromUtf8(CodePage cp, std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    if (!IsValidUtf8(utf8)) return std::nullopt;
    if (cp == CodePage::Utf8) return std::string(utf8);
    const std::optional<std::wstring> wide = WideFromUtf8(utf8);
    if (!wide) return std::nullopt;
    return CodePageFromWide(WindowsCodePage(cp), *wide);
}

}  // namespace quernfold
