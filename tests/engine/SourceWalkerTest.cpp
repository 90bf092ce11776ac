#include "engine/site/SourceWalker.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include <gtest/gtest.h>

#include "engine/platform/posix/DiskSiteFiles.h"
#include "engine/text/Errors.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;

TEST(IsSourcePageName, ComparesTheLastThreeCharactersIgnoringCase) {
    struct Row {
        const char* name;
        const char* type;
        bool listed;
    };
    const Row rows[] = {
        {"index.jsp", "jsp", true},
        {"INDEX.JSP", "jsp", true},
        {"a.Jsp", "jsp", true},
        {"index.jsp", "JSP", true},
        {"xjsp", "jsp", true},  // no dot needed
        {"jsp", "jsp", true},
        {"a.jspx", "jsp", false},
        {"a.jsp.bak", "jsp", false},
        {"a.js", "jsp", false},
        {"sp", "jsp", false},
        {"default.asp", "jsp", false},
        {"default.asp", "asp", true},
        {"anything.txt", "", true},  // an empty type lists every file
        {"", "", true},
        {"page.html", "html", false},  // a type longer than three characters matches nothing
        {"html", "html", false},
        // Characters, not bytes: the last three characters of "a.页面x" are "页面x".
        {"a.页面x", "页面x", true},
        {"a.页面x", "面x", false},
        // Only ASCII letters change case.
        {"a.ÄSP", "äsp", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsSourcePageName(row.name, row.type), row.listed) << row.name << " / " << row.type;
    }
}

TEST(ListingOrder, SortsUpperCasedWithTiesByRawBytes) {
    std::vector<std::string> names = {"b",     "_a",    "A",          "a",         "Z",        ".x",
                                      "a.jsp", "A.JSP", "index2.jsp", "INDEX.JSP", "新闻.jsp", "~"};
    std::sort(names.begin(), names.end(),
              [](const std::string& x, const std::string& y) { return ListingOrder(x, y); });
    // "_" and "~" sort after the letters, as on Windows; a prefix before its extensions; bytes >= 0x80 last.
    const std::vector<std::string> expected = {".x",        "A",          "a", "A.JSP", "a.jsp", "b",
                                               "INDEX.JSP", "index2.jsp", "Z", "_a",    "~",     "新闻.jsp"};
    EXPECT_EQ(names, expected);
}

class SourceWalker : public testing::Test {
protected:

    /** Path text below the temporary folder, as the walk will spell it. */
    std::string P(const std::string& relative) const { return (m_dir / relative).string(); }

    void File(const std::string& relative) const {
        fs::create_directories((m_dir / relative).parent_path());
        std::ofstream(m_dir / relative) << "x";
    }
    void Folder(const std::string& relative) const { fs::create_directories(m_dir / relative); }

    std::vector<std::string> Walk(const std::string& folder, const std::string& type = "jsp") const {
        std::vector<std::string> list;
        CollectSourceFiles(folder, type, list);
        return list;
    }

    test_support::Sandbox m_sandbox;
    fs::path m_dir = m_sandbox.Root();
};

TEST_F(SourceWalker, ListsAFoldersPagesBeforeItsSubFoldersDepthFirst) {
    File("site/z.jsp");
    File("site/inc/head.jsp");
    File("site/a.jsp");
    File("site/inc/deep/d.jsp");
    File("site/inc/m.jsp");
    File("site/news/n.jsp");
    File("site/Index.jsp");
    File("site/_x.jsp");
    EXPECT_EQ(Walk(P("site/")), (std::vector<std::string>{P("site/a.jsp"), P("site/Index.jsp"), P("site/z.jsp"),
                                                          P("site/_x.jsp"), P("site/inc/head.jsp"), P("site/inc/m.jsp"),
                                                          P("site/inc/deep/d.jsp"), P("site/news/n.jsp")}));
}

TEST_F(SourceWalker, PathsBeginWithTheFolderTextAsGiven) {
    File("site/a.jsp");
    File("site/sub/b.jsp");
    const std::vector<std::string> expected = {P("site") + "/a.jsp", P("site") + "/sub/b.jsp"};
    EXPECT_EQ(Walk(P("site")), expected);
    EXPECT_EQ(Walk(P("site/")), expected);
    // The text is kept, not normalised.
    EXPECT_EQ(Walk(P("site/../site/")),
              (std::vector<std::string>{P("site/../site/a.jsp"), P("site/../site/sub/b.jsp")}));
}

TEST_F(SourceWalker, AppliesTheTypeTestToFilesOnly) {
    File("site/index.jsp");
    File("site/a.jspx");
    File("site/a.jsp.bak");
    File("site/xjsp");
    File("site/news.jsp/item.jsp");
    Folder("site/empty.jsp");
    EXPECT_EQ(Walk(P("site")),
              (std::vector<std::string>{P("site/index.jsp"), P("site/xjsp"), P("site/news.jsp/item.jsp")}));
    EXPECT_EQ(Walk(P("site"), "html"), std::vector<std::string>{});
    EXPECT_EQ(Walk(P("site"), "").size(), 5u);
}

TEST_F(SourceWalker, ListsAndWalksHiddenEntries) {
    File("site/.hidden.jsp");
    File("site/.meta/m.jsp");
    File("site/.meta/.deeper/d.jsp");
    EXPECT_EQ(Walk(P("site")),
              (std::vector<std::string>{P("site/.hidden.jsp"), P("site/.meta/m.jsp"), P("site/.meta/.deeper/d.jsp")}));
}

TEST_F(SourceWalker, WalksEachRealFolderOnceSoLinkLoopsEnd) {
    File("site/a.jsp");
    File("site/sub/b.jsp");
    fs::create_directory_symlink("..", m_dir / "site/sub/up");   // back to the root
    fs::create_directory_symlink(".", m_dir / "site/sub/self");  // to itself
    fs::create_directory_symlink("sub", m_dir / "site/zlink");   // a second way into sub, met after sub
    EXPECT_EQ(Walk(P("site")), (std::vector<std::string>{P("site/a.jsp"), P("site/sub/b.jsp")}));
}

TEST_F(SourceWalker, FollowsLinksInsideTheSiteAndSkipsOthers) {
    File("site/a.jsp");
    File("elsewhere/x.jsp");
    File("elsewhere/dir/y.jsp");
    File("site/real/r.jsp");
    fs::create_symlink("a.jsp", m_dir / "site/link.jsp");
    fs::create_directory_symlink("real", m_dir / "site/alias");  // met before "real": walked under its own name
    fs::create_symlink("missing.jsp", m_dir / "site/broken.jsp");
    fs::create_symlink("../elsewhere/x.jsp", m_dir / "site/out.jsp");
    fs::create_directory_symlink("../elsewhere/dir", m_dir / "site/outdir");
    EXPECT_EQ(Walk(P("site")), (std::vector<std::string>{P("site/a.jsp"), P("site/link.jsp"), P("site/alias/r.jsp")}));
}

TEST_F(SourceWalker, SkipsFifosAndSockets) {
    File("site/a.jsp");
    ASSERT_EQ(::mkfifo(P("site/fifo.jsp").c_str(), 0644), 0);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listening, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = P("site/sock.jsp");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(Walk(P("site")), std::vector<std::string>{P("site/a.jsp")});
    ::close(listening);
}

TEST_F(SourceWalker, RecordsTheIdentityOfEveryListedPage) {
    File("site/a.jsp");
    File("site/b.txt");
    std::vector<std::string> list;
    std::unordered_set<FileId, FileIdHash> ids;
    CollectSourceFiles(P("site"), "jsp", list, &ids);
    struct stat info {};
    ASSERT_EQ(::stat(P("site/a.jsp").c_str(), &info), 0);
    EXPECT_EQ(ids, (std::unordered_set<FileId, FileIdHash>{
                       {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}}));
}

// The walk opens every folder beneath the site root's descriptor: a folder swapped for a link out of the site after
// its parent was listed lists nothing from outside.
TEST_F(SourceWalker, AFolderSwappedForALinkOutMidWalkListsNothingOutside) {
    File("site/a.jsp");
    File("site/sub/b.jsp");
    File("outside/secret.jsp");
    class Swapping : public DiskSiteFiles {
    public:
        Swapping(const std::string& root, std::function<void()> swap)
            : DiskSiteFiles(root), m_swap(std::move(swap)) {}
        FolderListing ListFolder(const std::string& folder) override {
            FolderListing listing = DiskSiteFiles::ListFolder(folder);
            if (m_swap) std::exchange(m_swap, nullptr)();  // once, right after the root's listing
            return listing;
        }
        std::function<void()> m_swap;
    };
    bool swapped = false;
    Swapping files(P("site/"), [&] {
        fs::rename(m_dir / "site/sub", m_dir / "sub.old");
        fs::create_symlink("../outside", m_dir / "site/sub");
        swapped = true;
    });
    std::vector<std::string> list;
    CollectSourceFiles(files, P("site"), "jsp", list);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(list, std::vector<std::string>{P("site/a.jsp")});
}

TEST_F(SourceWalker, EmptyFoldersAddNothing) {
    Folder("site/a/b/c");
    EXPECT_EQ(Walk(P("site")), std::vector<std::string>{});
}

TEST_F(SourceWalker, FailsNamingTheFolderWhenTheRootIsMissingOrAFile) {
    File("page.jsp");
    const std::vector<std::pair<std::string, std::string>> cases = {{P("nosuch"), "No such file or directory"},
                                                                    {P("page.jsp"), "Not a directory"}};
    for (const auto& [root, reason] : cases) {
        std::vector<std::string> list;
        try {
            CollectSourceFiles(root, "jsp", list);
            ADD_FAILURE() << "no failure for " << root;
        } catch (const WalkError& failure) {
            EXPECT_EQ(failure.Folder(), root + "/");
            EXPECT_EQ(std::string(failure.what()), reason);
        }
    }
}

TEST_F(SourceWalker, FailsWhenAFoldersEntriesCannotBeExamined) {
    // A folder that may be read but not searched: its names are listed, but not one entry can be looked at.
    if (::geteuid() == 0) GTEST_SKIP() << "root may search any folder";
    File("site/a.jsp");
    File("site/locked/b.jsp");
    fs::permissions(m_dir / "site/locked", fs::perms::owner_read);
    std::vector<std::string> list;
    try {
        CollectSourceFiles(P("site"), "jsp", list);
        ADD_FAILURE() << "the locked folder was skipped silently";
    } catch (const WalkError& failure) {
        EXPECT_EQ(failure.Folder(), P("site/locked/"));
        EXPECT_EQ(std::string(failure.what()), "Permission denied");
    }
    EXPECT_EQ(list, std::vector<std::string>{P("site/a.jsp")});
}

}  // namespace
}  // namespace quernfold
