// UTF-8 inside, UTF-16 at the W calls: names must come back byte for byte, and a path of any length must reach
// the file calls in the form that lifts the MAX_PATH limit.
#include "engine/platform/windows/WideText.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace quernfold {
namespace {

TEST(WideTextTest, ConvertsBothWaysAndRefusesWhatHasNoForm) {
    const std::string chinese = "\xE7\xAB\x99\xE7\x82\xB9/\xE8\xA1\xA8.asp";  // 站点/表.asp
    const std::optional<std::wstring> wide = WideFromUtf8(chinese);
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, L"\u7AD9\u70B9/\u8868.asp");
    EXPECT_EQ(Utf8FromWide(*wide), chinese);
    EXPECT_EQ(Utf8FromWide(L"\U0001F600"), std::string("\xF0\x9F\x98\x80"));  // a surrogate pair
    EXPECT_EQ(WideFromUtf8(""), std::wstring());

    EXPECT_EQ(WideFromUtf8("\xB1\xED"), std::nullopt);          // GBK bytes, not UTF-8
    EXPECT_EQ(WideFromUtf8("a\xE8\xA1"), std::nullopt);         // cut off
    EXPECT_EQ(WideFromUtf8("\xED\xA0\x80"), std::nullopt);      // an encoded surrogate
    EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t(0xD800))), std::nullopt);  // a lone surrogate in a name
    EXPECT_EQ(Utf8FromWide(std::wstring(L"a") + wchar_t(0xDC00)), std::nullopt);
}

TEST(WideTextTest, BackslashesForTheLog) {
    EXPECT_EQ(WithBackslashes("site/inc/a.jsp"), "site\\inc\\a.jsp");
    EXPECT_EQ(WithBackslashes("C:\\out/x"), "C:\\out\\x");
    EXPECT_EQ(WithBackslashes(""), "");
}

std::wstring WorkingFolder() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 4, buffer);
    std::wstring folder(buffer, length);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

TEST(WideTextTest, ExtendedPathsLiftTheLengthLimit) {
    struct Case {
        std::string path;
        std::wstring extended;
    };
    const Case cases[] = {
        {"C:\\site\\a.jsp", L"\\\\?\\C:\\site\\a.jsp"},
        {"C:/site/inc/../a.jsp", L"\\\\?\\C:\\site\\a.jsp"},  // the prefix turns normalisation off: done first
        {"C:\\site\\.\\\xE8\xA1\xA8", L"\\\\?\\C:\\site\\\u8868"},
        {"\\\\server\\share\\site", L"\\\\?\\UNC\\server\\share\\site"},
        {"//server/share/site", L"\\\\?\\UNC\\server\\share\\site"},
        {"\\\\?\\C:\\already", L"\\\\?\\C:\\already"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtendedPath(c.path), c.extended) << c.path;
    }
    EXPECT_EQ(ExtendedPath("out\\p.html"), L"\\\\?\\" + WorkingFolder() + L"out\\p.html");
    EXPECT_EQ(ExtendedPath(""), std::nullopt);
    EXPECT_EQ(ExtendedPath("C:\\\xB1\xED"), std::nullopt);

    // 300 characters: past MAX_PATH, still whole.
    const std::string deep = "C:\\" + std::string(296, 'd');
    const std::optional<std::wstring> extended = ExtendedPath(deep);
    ASSERT_TRUE(extended);
    EXPECT_EQ(extended->size(), 4 + deep.size());
}

}  // namespace
}  // namespace quernfold
