#include "engine/platform/posix/AssetCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/platform/posix/DiskOutputTree.h"
#include "engine/platform/posix/DiskSiteFiles.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::WriteFile;

struct stat StatOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

void SetMtime(const fs::path& path, time_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

class AssetCopierTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_base = m_sandbox.Root();
        fs::create_directories(m_base / "out");
    }

    // Copies from into the output folder, as the run does, through the output tree.
    CopyOutcome Copy(const fs::path& from, const fs::path& to, FileId readByRun = {}) {
        DiskOutputTree tree((m_base / "out").string() + "/");
        DiskSiteFiles site(from.parent_path().string() + "/");
        const std::unique_ptr<SourceFile> source = site.OpenPage(from.string());
        return tree.Copy(OutputPathPlan{{}, to.string()}, *source,
                         [readByRun](const FileId& id) { return readByRun.Known() && id == readByRun; });
    }
    bool NoTemporaryFilesLeft() const {
        for (const auto& entry : fs::directory_iterator(m_base / "out")) {
            if (entry.path().filename().string().starts_with(".quernfold-")) return false;
        }
        return true;
    }

    test_support::Sandbox m_sandbox;
    fs::path m_base;
};

TEST_F(AssetCopierTest, CopiesBytesAndTimesThenLeavesAnUnchangedFileAlone) {
    // Binary bytes, a NUL and a size larger than one buffer, so a short or text-mode copy shows.
    std::string bytes(300 * 1024, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) & 0xFF);
    const fs::path source = m_base / "logo.png";
    const fs::path target = m_base / "out" / "logo.png";
    WriteFile(source, bytes);
    SetMtime(source, 1000000000, 123456789);

    EXPECT_EQ(Copy(source, target), CopyOutcome::Copied);
    EXPECT_EQ(ReadFile(target), bytes);
    EXPECT_EQ(StatOf(target).st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(StatOf(target).st_mtim.tv_nsec, 123456789);
    const ino_t first = StatOf(target).st_ino;

    EXPECT_EQ(Copy(source, target), CopyOutcome::Unchanged);
    EXPECT_EQ(StatOf(target).st_ino, first);  // not rewritten

    // Same size, another time: copied again. Another size, same time: copied again.
    struct Change {
        std::string bytes;
        time_t seconds;
    };
    const Change changes[] = {{std::string(bytes.size(), 'A'), 1000000001}, {"short", 1000000001}};
    for (const Change& change : changes) {
        WriteFile(source, change.bytes);
        SetMtime(source, change.seconds, 0);
        EXPECT_EQ(Copy(source, target), CopyOutcome::Copied) << change.bytes.size();
        EXPECT_EQ(ReadFile(target), change.bytes);
    }
    EXPECT_TRUE(NoTemporaryFilesLeft());
}

TEST_F(AssetCopierTest, NeverWritesThroughALinkNorOverAFileTheRunReads) {
    const fs::path source = m_base / "a.css";
    WriteFile(source, "body{}");
    // A link planted at the target is replaced; the file it points at keeps its bytes.
    const fs::path victim = m_base / "victim.txt";
    WriteFile(victim, "keep");
    fs::create_symlink(victim, m_base / "out" / "a.css");
    EXPECT_EQ(Copy(source, m_base / "out" / "a.css"), CopyOutcome::Copied);
    EXPECT_EQ(ReadFile(victim), "keep");
    EXPECT_FALSE(fs::is_symlink(m_base / "out" / "a.css"));

    // A target that is a file the run reads is refused and left as it was.
    const fs::path include = m_base / "out" / "header.htm";
    WriteFile(include, "<%@ page %>");
    const struct stat info = StatOf(include);
    EXPECT_THROW(Copy(source, include, FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino}),
                 std::runtime_error);
    EXPECT_EQ(ReadFile(include), "<%@ page %>");

    // A source that is missing or not a regular file fails with the system's reason, and leaves nothing behind.
    EXPECT_THROW(Copy(m_base / "missing.css", m_base / "out" / "m.css"), std::runtime_error);
    EXPECT_THROW(Copy(m_base / "out", m_base / "out" / "d.css"), std::runtime_error);
    EXPECT_FALSE(fs::exists(m_base / "out" / "m.css"));
    EXPECT_TRUE(NoTemporaryFilesLeft());
}

}  // namespace
}  // namespace quernfold
