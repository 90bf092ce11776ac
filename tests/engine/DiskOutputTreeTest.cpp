#include "engine/platform/posix/DiskOutputTree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "engine/text/Errors.h"
#include "tests/support/Files.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::WriteFile;

class DiskOutputTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quernfold-tree-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        fs::create_directories(m_dir / "out");
        fs::create_directories(m_dir / "elsewhere");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Out() const { return (m_dir / "out").string() + "/"; }
    // Writes one page through tree; returns the failure, or "" when it was published.
    std::string WritePage(DiskOutputTree& tree, const std::string& relative, const std::string& bytes) {
        OutputPathPlan plan = PlanOutputPath("/s/" + relative, "/s/", Out(), "html", '/');
        try {
            auto page = tree.Create(plan, 1 << 20);
            page->Write(bytes);
            page->Publish();
        } catch (const std::exception& failure) {
            return failure.what();
        }
        return {};
    }

    fs::path m_dir;
};

TEST_F(DiskOutputTreeTest, WhatStandsWhereAFolderIsNeededDecidesThePage) {
    struct Row {
        const char* name;
        std::function<void(const fs::path& out, const fs::path& elsewhere)> plant;
        std::string failure;  // "" when the page lands in out/sub/
    };
    const Row rows[] = {
        {"NothingFolderIsMade", [](const fs::path&, const fs::path&) {}, ""},
        {"FolderIsUsed", [](const fs::path& out, const fs::path&) { fs::create_directories(out / "sub"); }, ""},
        {"LinkIsNeverFollowed",
         [](const fs::path& out, const fs::path& elsewhere) { fs::create_directory_symlink(elsewhere, out / "sub"); },
         "the output folder OUT/sub is a link, which is not followed"},
        {"DanglingLinkIsNeverFollowed",
         [](const fs::path& out, const fs::path& elsewhere) {
             fs::create_directory_symlink(elsewhere / "gone", out / "sub");
         },
         "the output folder OUT/sub is a link, which is not followed"},
        {"FileFailsWithTheSystemsReason", [](const fs::path& out, const fs::path&) { WriteFile(out / "sub", "x"); },
         SystemReason(ENOTDIR)},
    };
    for (const Row& row : rows) {
        fs::remove_all(m_dir / "out");
        fs::remove_all(m_dir / "elsewhere");
        fs::create_directories(m_dir / "out");
        fs::create_directories(m_dir / "elsewhere");
        row.plant(m_dir / "out", m_dir / "elsewhere");
        DiskOutputTree tree(Out());
        std::string expected = row.failure;
        if (const auto at = expected.find("OUT/"); at != std::string::npos) expected.replace(at, 4, Out());
        EXPECT_EQ(WritePage(tree, "sub/a.jsp", "page"), expected) << row.name;
        EXPECT_EQ(fs::exists(m_dir / "out/sub/a.html") && ReadFile(m_dir / "out/sub/a.html") == "page",
                  row.failure.empty())
            << row.name;
        EXPECT_TRUE(fs::is_empty(m_dir / "elsewhere")) << row.name;
    }
}

TEST_F(DiskOutputTreeTest, AFolderSwappedForALinkAfterItWasOpenedCannotRedirectItsPages) {
    DiskOutputTree tree(Out());
    ASSERT_EQ(WritePage(tree, "sub/a.jsp", "a"), "");
    // Another process swaps the folder for a link to somewhere else between two pages of it.
    fs::rename(m_dir / "out/sub", m_dir / "out/moved");
    fs::create_directory_symlink(m_dir / "elsewhere", m_dir / "out/sub");
    EXPECT_EQ(WritePage(tree, "sub/b.jsp", "b"), "");
    EXPECT_TRUE(fs::is_empty(m_dir / "elsewhere"));
    EXPECT_EQ(ReadFile(m_dir / "out/moved/b.html"), "b");
    // A page of another folder closes it; coming back meets the link.
    EXPECT_EQ(WritePage(tree, "c.jsp", "c"), "");
    EXPECT_EQ(WritePage(tree, "sub/d.jsp", "d"), "the output folder " + Out() + "sub is a link, which is not followed");
    EXPECT_TRUE(fs::is_empty(m_dir / "elsewhere"));
}

// Workers write pages into the tree before their turn; nothing of a page shows until it is published under its
// name, and a page dropped (or abandoned on a stop after it was placed) leaves neither a file nor a folder.
TEST_F(DiskOutputTreeTest, PagesWrittenAheadShowOnlyOnceTheyArePublished) {
    DiskOutputTree tree(Out());
    const auto plan = [&](const std::string& relative) {
        return PlanOutputPath("/s/" + relative, "/s/", Out(), "html", '/');
    };
    const auto listing = [&] {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(m_dir / "out")) {
            names.insert(fs::relative(entry.path(), m_dir / "out").string());
        }
        return names;
    };
    ASSERT_EQ(WritePage(tree, "b.jsp", "an earlier b"), "");
    std::unique_ptr<PageOutput> a = tree.WriteAhead("first");
    std::unique_ptr<PageOutput> b = tree.WriteAhead("second");
    std::unique_ptr<PageOutput> dropped = tree.WriteAhead("dropped");
    std::unique_ptr<PageOutput> stopped = tree.WriteAhead("stopped");
    ASSERT_TRUE(a && b && dropped && stopped);
    EXPECT_EQ(listing(), (std::set<std::string>{"b.html"}));

    const FileId aId = a->Id();
    a = tree.Place(std::move(a), plan("sub/deeper/a.jsp"));
    EXPECT_EQ(listing(), (std::set<std::string>{"b.html", "sub", "sub/deeper"}));  // folders only, so far
    a->Publish();
    struct stat info {};
    ASSERT_EQ(::stat((m_dir / "out/sub/deeper/a.html").c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, aId.inode);
    EXPECT_EQ(ReadFile(m_dir / "out/sub/deeper/a.html"), "first");

    b = tree.Place(std::move(b), plan("b.jsp"));
    b->Publish();
    EXPECT_EQ(ReadFile(m_dir / "out/b.html"), "second");  // the earlier file is replaced whole

    dropped.reset();
    stopped = tree.Place(std::move(stopped), plan("new/one/s.jsp"));
    stopped->Discard();
    tree.RemoveFoldersMadeForLastPage();
    EXPECT_EQ(listing(), (std::set<std::string>{"b.html", "sub", "sub/deeper", "sub/deeper/a.html"}));

    // Only a file the tree wrote ahead can be placed.
    std::unique_ptr<PageOutput> other = tree.Create(plan("c.jsp"), 100);
    EXPECT_THROW(tree.Place(std::move(other), plan("d.jsp")), OutputError);
}

}  // namespace
}  // namespace quernfold
