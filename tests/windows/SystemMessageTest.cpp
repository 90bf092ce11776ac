// The reasons a failed page shows come from the system, in its language, as one line.
#include "engine/platform/windows/SystemMessage.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/text/Utf8.h"

namespace quernfold {
namespace {

TEST(SystemMessageTest, TheSystemsTextAsOneLineOfUtf8) {
    for (const DWORD code : {DWORD(ERROR_FILE_NOT_FOUND), DWORD(ERROR_SHARING_VIOLATION),
                             DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_DISK_FULL)}) {
        const std::string reason = WindowsReason(code);
        EXPECT_FALSE(reason.empty());
        EXPECT_TRUE(IsValidUtf8(reason)) << code;
        EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
        EXPECT_NE(reason.rfind("error ", 0), 0u) << "no system text for " << code;
    }
    EXPECT_NE(WindowsReason(ERROR_FILE_NOT_FOUND), WindowsReason(ERROR_SHARING_VIOLATION));
}

// A Chinese Windows explains a file open in another program in Chinese; the page's failure shows that text.
TEST(SystemMessageTest, InTheLanguageOfTheSystem) {
    if (PRIMARYLANGID(::GetUserDefaultUILanguage()) != LANG_CHINESE) GTEST_SKIP() << "not a Chinese system";
    const std::string reason = WindowsReason(ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(std::any_of(reason.begin(), reason.end(), [](char c) { return (c & 0x80) != 0; })) << reason;
}

TEST(SystemMessageTest, ACodeWithoutTextIsNamedByNumber) {
    EXPECT_EQ(WindowsReason(0x2FFFFFFF), "error 805306367");
}

TEST(SystemMessageTest, LastErrorIsRead) {
    ::SetLastError(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(LastWindowsReason(), WindowsReason(ERROR_SHARING_VIOLATION));
}

}  // namespace
}  // namespace quernfold
