// Nothing outside the site root is ever read: not by "..", not through a link. The decision is tested on path
// texts as the system gives them; the opens on a real folder.
#include "engine/platform/windows/ContainedFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/log/LogLines.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/text/Errors.h"
#include "tests/windows/TestFolder.h"

namespace quernfold {
namespace {

TEST(ContainedFolderTest, DecidesInsideByWholeNamesIgnoringCase) {
    struct Case {
        std::wstring_view root;
        std::wstring_view path;
        bool inside;
    };
    const Case cases[] = {
        {L"\\\\?\\C:\\site", L"\\\\?\\C:\\site", true},
        {L"\\\\?\\C:\\site", L"\\\\?\\C:\\site\\inc\\a.jsp", true},
        {L"\\\\?\\C:\\site", L"\\\\?\\c:\\SITE\\A.JSP", true},
        {L"\\\\?\\C:\\Site\u00C4", L"\\\\?\\C:\\site\u00E4\\a.jsp", true},  // Ä and ä: one name on NTFS
        {L"\\\\?\\C:\\site", L"\\\\?\\C:\\site2\\a.jsp", false},
        {L"\\\\?\\C:\\site", L"\\\\?\\C:\\sit", false},
        {L"\\\\?\\C:\\site", L"\\\\?\\C:\\", false},
        {L"\\\\?\\C:\\site", L"\\\\?\\D:\\site\\a.jsp", false},
        {L"\\\\?\\C:\\", L"\\\\?\\C:\\anything", true},
        {L"\\\\?\\C:\\site\\", L"\\\\?\\C:\\site\\a", true},
        {L"\\\\?\\UNC\\host\\share\\site", L"\\\\?\\UNC\\host\\share\\site\\a", true},
        {L"\\\\?\\UNC\\host\\share\\site", L"\\\\?\\UNC\\host\\share\\other\\a", false},
        {L"\\\\?\\UNC\\host\\share\\site", L"\\\\?\\C:\\site\\a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LiesWithin(c.root, c.path), c.inside) << Utf8FromWide(c.path).value_or("?");
    }
}

std::string OpenError(const ContainedFolder& root, const std::string& path) {
    try {
        root.OpenFile(path);
    } catch (const FileError& error) {
        return error.what();
    }
    return "opened";
}

std::string ReadAll(const Handle& handle) {
    char buffer[256];
    DWORD read = 0;
    if (!::ReadFile(handle.Get(), buffer, sizeof buffer, &read, nullptr)) return "<failed>";
    return std::string(buffer, read);
}

TEST(ContainedFolderTest, OpensWhatLiesInsideAndRefusesTheRest) {
    TestFolder folder;
    folder.Write("site/inc/\xE8\xA1\xA8.asp", "inside");  // 表.asp
    folder.Write("outside.asp", "secret");
    folder.Write("site2/x.asp", "neighbour");
    const ContainedFolder root(folder.Path("site"));

    EXPECT_EQ(ReadAll(root.OpenFile(folder.Path("site") + "\\inc\\\xE8\xA1\xA8.asp")), "inside");
    EXPECT_EQ(ReadAll(root.OpenFile(folder.Path("site") + "/inc/\xE8\xA1\xA8.asp")), "inside");  // '/' too
    EXPECT_EQ(ReadAll(root.OpenFile(folder.Path("site") + "\\INC\\\xE8\xA1\xA8.ASP")), "inside");
    EXPECT_TRUE(root.OpenFolder(folder.Path("site")).Valid());
    EXPECT_TRUE(root.OpenFolder(folder.Path("site") + "\\inc").Valid());

    EXPECT_EQ(OpenError(root, folder.Path("site") + "\\..\\outside.asp"), OutsideSiteRootReason(true));
    EXPECT_EQ(OpenError(root, folder.Path("site") + "\\inc\\..\\..\\site2\\x.asp"), OutsideSiteRootReason(true));
    EXPECT_EQ(OpenError(root, folder.Path("site") + "\\inc"), NotARegularFileReason());
    EXPECT_EQ(OpenError(root, folder.Path("site") + "\\missing.asp"), WindowsReason(ERROR_FILE_NOT_FOUND));
}

TEST(ContainedFolderTest, ALinkLeadingOutIsRefused) {
    TestFolder folder;
    folder.Write("site/a.asp", "inside");
    folder.Write("outside.asp", "secret");
    const std::wstring link = *ExtendedPath(folder.Path("site") + "\\link.asp");
    const std::wstring target = *ExtendedPath(folder.Path("outside.asp"));
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
        GTEST_SKIP() << "this system made no symbolic link (" << LastWindowsReason()
                     << "); Windows needs developer mode or the privilege for it";
    }
    const Handle followed(::CreateFileW(link.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!followed.Valid()) {
        GTEST_SKIP() << "this system made a symbolic link it cannot follow (" << LastWindowsReason()
                     << "), as Wine does";
    }
    const ContainedFolder root(folder.Path("site"));
    EXPECT_EQ(OpenError(root, folder.Path("site") + "\\link.asp"), OutsideSiteRootReason(true));
    EXPECT_EQ(OpenError(root, folder.Path("site") + "\\a.asp"), "opened");
}

TEST(ContainedFolderTest, TheRootCannotBeMovedAwayWhileHeld) {
    TestFolder folder;
    folder.Write("site/a.asp", "inside");
    {
        const ContainedFolder root(folder.Path("site"));
        const std::wstring from = *ExtendedPath(folder.Path("site"));
        const std::wstring to = *ExtendedPath(folder.Path("moved"));
        EXPECT_FALSE(::MoveFileExW(from.c_str(), to.c_str(), 0)) << "the site root was renamed during the run";
    }
    EXPECT_EQ(folder.Names(), "site");
}

}  // namespace
}  // namespace quernfold
