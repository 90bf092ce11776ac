// An output file stands under its name whole or not at all, and a file another program holds open fails the
// page with the system's reason while the old file stays.
#include "engine/platform/windows/AtomicFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/log/LogLines.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/text/Errors.h"
#include "tests/windows/TestFolder.h"

namespace quernfold {
namespace {

TEST(AtomicFileTest, PublishesWholeAndReplacesWhatStoodThere) {
    TestFolder folder;
    folder.Write("out/old.html", "old");
    const std::string big(200 * 1024, 'x');  // past the buffer
    for (const std::string name : {"new.html", "old.html", "\xE8\xA1\xA8.html"}) {
        AtomicFile file(folder.Path("out/" + name));
        file.Write("<p>");
        file.Write(big);
        file.Write("</p>\r\n");
        EXPECT_EQ(folder.Read("out/" + name), name == "old.html" ? "old" : "<missing>") << "visible before Publish";
        file.Publish();
        EXPECT_EQ(folder.Read("out/" + name), "<p>" + big + "</p>\r\n");
    }
    EXPECT_EQ(folder.Names("out"), "new.html old.html \xE8\xA1\xA8.html");  // no temporary file left
}

TEST(AtomicFileTest, ADiscardedOrAbandonedFileLeavesNothing) {
    TestFolder folder;
    folder.Write("out/page.html", "old");
    {
        AtomicFile file(folder.Path("out/page.html"));
        file.Write("new");
        file.Discard();
    }
    { AtomicFile(folder.Path("out/other.html")).Write("half"); }
    EXPECT_EQ(folder.Read("out/page.html"), "old");
    EXPECT_EQ(folder.Names("out"), "page.html");
}

TEST(AtomicFileTest, TheSizeLimitFailsThePageAndStays) {
    TestFolder folder;
    AtomicFile file(folder.Path("big.html"), 10);
    file.Write("0123456789");
    try {
        file.Write("!");
        FAIL() << "wrote past the limit";
    } catch (const OutputError& error) {
        EXPECT_EQ(std::string(error.what()), OutputTooLargeReason(10));
    }
    EXPECT_THROW(file.Publish(), OutputError);
    EXPECT_EQ(folder.Names(), "");
}

TEST(AtomicFileTest, AFileHeldOpenElsewhereFailsWithTheSystemsReason) {
    TestFolder folder;
    folder.Write("page.html", "old");
    const std::wstring target = *ExtendedPath(folder.Path("page.html"));
    // As an editor holding the file: read and write sharing, no delete sharing, so it cannot be replaced.
    Handle held(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.Valid());
    AtomicFile file(folder.Path("page.html"));
    file.Write("new");
    try {
        file.Publish();
        FAIL() << "replaced a file another program holds open";
    } catch (const OutputError& error) {
        const std::string reason = error.what();
        EXPECT_TRUE(reason == WindowsReason(ERROR_ACCESS_DENIED) || reason == WindowsReason(ERROR_SHARING_VIOLATION))
            << reason;
    }
    held.Close();
    EXPECT_EQ(folder.Read("page.html"), "old");
    EXPECT_EQ(folder.Names(), "page.html");
}

TEST(AtomicFileTest, KeepsTheModificationTimeItIsGiven) {
    TestFolder folder;
    FILETIME modified{};
    modified.dwHighDateTime = 0x01D0'0000;  // 2014
    modified.dwLowDateTime = 0x1234'5670;
    {
        AtomicFile file(folder.Path("copy.css"));
        file.Write("body{}");
        file.SetTimes(modified, modified);
        file.Publish();
    }
    const std::wstring path = *ExtendedPath(folder.Path("copy.css"));
    Handle copy(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME written{};
    ASSERT_TRUE(::GetFileTime(copy.Get(), nullptr, nullptr, &written));
    EXPECT_EQ(written.dwHighDateTime, modified.dwHighDateTime);
    EXPECT_EQ(written.dwLowDateTime, modified.dwLowDateTime);
}

TEST(AtomicFileTest, AMissingFolderIsRefusedWithTheSystemsReason) {
    TestFolder folder;
    try {
        AtomicFile file(folder.Path("no/such/page.html"));
        FAIL() << "made a file in a folder that does not exist";
    } catch (const OutputError& error) {
        EXPECT_EQ(std::string(error.what()), WindowsReason(ERROR_PATH_NOT_FOUND));
    }
}

}  // namespace
}  // namespace quernfold
