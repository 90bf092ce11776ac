#include "engine/platform/posix/AssetCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "engine/platform/posix/DiskOutputTree.h"
#include "engine/platform/posix/DiskSiteFiles.h"
#include "engine/log/Sinks.h"
#include "engine/output/StaticFiles.h"
#include "engine/run/StopRequest.h"
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
    CopyOutcome Copy(const fs::path& from, const fs::path& to, FileId readByRun = {},
                     const std::atomic<bool>* stop = nullptr, const std::function<void()>& afterOpen = {}) {
        DiskOutputTree tree((m_base / "out").string() + "/");
        DiskSiteFiles site(from.parent_path().string() + "/");
        const std::unique_ptr<SourceFile> source = site.OpenPage(from.string());
        if (afterOpen) afterOpen();
        CopyRules rules;
        rules.mayNotReplace = [readByRun](const FileId& id) { return readByRun.Known() && id == readByRun; };
        rules.stopRequested = stop;
        return tree.Copy(OutputPathPlan{{}, to.string()}, *source, rules);
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

    // A target that is a file the run reads (or a file of the site) is left as it was, even one with the same
    // size and time.
    const fs::path include = m_base / "out" / "header.htm";
    WriteFile(include, "<%@ page %>");
    const struct stat info = StatOf(include);
    EXPECT_EQ(Copy(source, include, FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino}),
              CopyOutcome::NotReplaced);
    EXPECT_EQ(ReadFile(include), "<%@ page %>");
    WriteFile(m_base / "twin.htm", "<%@ page %>");
    SetMtime(m_base / "twin.htm", info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    SetMtime(include, info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    EXPECT_EQ(Copy(m_base / "twin.htm", include, FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino}),
              CopyOutcome::NotReplaced);

    // A source that is missing or not a regular file fails with the system's reason, and leaves nothing behind.
    EXPECT_THROW(Copy(m_base / "missing.css", m_base / "out" / "m.css"), std::runtime_error);
    EXPECT_THROW(Copy(m_base / "out", m_base / "out" / "d.css"), std::runtime_error);
    EXPECT_FALSE(fs::exists(m_base / "out" / "m.css"));
    EXPECT_TRUE(NoTemporaryFilesLeft());
}

// A sparse video takes no more room in the output than in the site, and a file that grows while it is copied is
// copied as large as it was when opened.
TEST_F(AssetCopierTest, KeepsHolesAndCopiesTheSizeTheFileHadWhenOpened) {
    const fs::path source = m_base / "movie.mp4";
    constexpr off_t kSize = off_t{512} << 20;
    {
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, "middle", 6, kSize / 2), 6);
        ASSERT_EQ(::ftruncate(fd, kSize), 0);
        ::close(fd);
    }
    if (StatOf(source).st_blocks * 512 > (off_t{16} << 20)) GTEST_SKIP() << "this file system keeps no holes";
    const fs::path target = m_base / "out" / "movie.mp4";
    EXPECT_EQ(Copy(source, target, {}, nullptr, [&] {
                  std::ofstream grow(source, std::ios::binary | std::ios::app);
                  grow << "grown after the open";
              }),
              CopyOutcome::Copied);
    const struct stat copy = StatOf(target);
    EXPECT_EQ(copy.st_size, kSize);
    EXPECT_LT(copy.st_blocks * 512, off_t{16} << 20) << "the holes were filled";
    std::ifstream in(target, std::ios::binary);
    char bytes[6] = {};
    in.read(bytes, 4);
    EXPECT_EQ(std::string(bytes, 4), "head");
    in.seekg(kSize / 2);
    in.read(bytes, 6);
    EXPECT_EQ(std::string(bytes, 6), "middle");
}

// Static files are listed by the walk and opened later: a folder swapped for a link out of the site in between
// brings no outside byte into the output.
TEST_F(AssetCopierTest, FolderSwappedForALinkOutAfterTheWalkBringsNothingFromOutside) {
    WriteFile(m_base / "site" / "css" / "a.css", "inside");
    WriteFile(m_base / "outside" / "a.css", "OUTSIDE");
    struct SwappingSite : DiskSiteFiles {
        using DiskSiteFiles::DiskSiteFiles;
        fs::path base;
        std::unique_ptr<SourceFile> OpenPage(const std::string& path) override {
            if (fs::is_directory(base / "site" / "css") && !fs::is_symlink(base / "site" / "css")) {
                fs::rename(base / "site" / "css", base / "css.old");
                fs::create_directory_symlink(base / "outside", base / "site" / "css");
            }
            return DiskSiteFiles::OpenPage(path);
        }
    };
    for (const auto containment : {DiskSiteFiles::Containment::Kernel, DiskSiteFiles::Containment::Segments}) {
        if (fs::is_symlink(m_base / "site" / "css")) {
            fs::remove(m_base / "site" / "css");
            fs::rename(m_base / "css.old", m_base / "site" / "css");
        }
        SwappingSite site((m_base / "site").string() + "/", containment);
        site.base = m_base;
        DiskOutputTree tree((m_base / "out").string() + "/");
        struct : LogSink {
            void ClearLog() override {}
            void AppendLog(std::string_view line) override { lines += std::string(line) + "\n"; }
            std::string lines;
        } log;
        StaticFilesJob job;
        job.siteRoot = (m_base / "site").string() + "/";
        job.outputRoot = (m_base / "out").string() + "/";
        job.site = &site;
        job.output = &tree;
        job.rules = DefaultAssetRules("jsp");
        const StaticFilesCounts counts = CopyStaticFiles(job, log, nullptr, nullptr);
        EXPECT_EQ(counts.copied, 0);
        EXPECT_EQ(counts.failed, 1) << log.lines;
        EXPECT_FALSE(fs::exists(m_base / "out" / "css" / "a.css"));
    }
}

// A stop request abandons a copy: neither the file nor its temporary file stays.
TEST_F(AssetCopierTest, StopRequestAbandonsTheCopyAndLeavesNothing) {
    const fs::path source = m_base / "big.bin";
    WriteFile(source, std::string(1 << 20, 'x'));
    const std::atomic<bool> stop{true};
    EXPECT_THROW(Copy(source, m_base / "out" / "big.bin", {}, &stop), RunStopped);
    EXPECT_FALSE(fs::exists(m_base / "out" / "big.bin"));
    EXPECT_TRUE(NoTemporaryFilesLeft());
}

// Files copied on several threads at once are told (log, records, counts) in the walk's order, as one thread tells
// them, and land the same; a stop before the step copies nothing on any thread.
TEST_F(AssetCopierTest, FilesCopiedOnSeveralThreadsAreToldAsOneThreadTellsThem) {
    const fs::path site = m_base / "site";
    for (int i = 0; i < 400; ++i) {
        WriteFile(site / ("s" + std::to_string(i % 7)) / ("f" + std::to_string(i) + ".png"), "image " + std::to_string(i));
    }
    struct Outcome {
        StaticFilesCounts counts;
        std::string log;
        AssetRecords records;
        std::map<std::string, std::string> tree;
    };
    const auto copyAll = [&](const std::string& out, unsigned threads, bool stop) {
        // A folder where a file would go fails that file's copy.
        fs::create_directories(m_base / out / "s3" / "f10.png");
        DiskSiteFiles files(site.string() + "/");
        DiskOutputTree tree((m_base / out).string() + "/");
        struct : LogSink {
            void ClearLog() override {}
            void AppendLog(std::string_view line) override { lines += std::string(line) + "\n"; }
            std::string lines;
        } log;
        const std::atomic<bool> stopRequested{stop};
        StaticFilesJob job;
        job.siteRoot = site.string() + "/";
        job.outputRoot = (m_base / out).string() + "/";
        job.site = &files;
        job.output = &tree;
        job.rules = DefaultAssetRules("jsp");
        job.stopRequested = &stopRequested;
        // A page of the run has this output path.
        job.pageWithOutput = [](const std::string& path) -> std::optional<bool> {
            if (path.ends_with("/f20.png")) return true;
            return std::nullopt;
        };
        job.threads = threads;
        job.openPlace = [&] {
            return StaticFilesPlace{std::make_unique<DiskSiteFiles>(job.siteRoot),
                                    std::make_unique<DiskOutputTree>(job.outputRoot)};
        };
        Outcome outcome;
        outcome.counts = CopyStaticFiles(job, log, &outcome.records, nullptr);
        outcome.log = log.lines;
        for (const auto& entry : fs::recursive_directory_iterator(m_base / out)) {
            const std::string relative = fs::relative(entry.path(), m_base / out).string();
            outcome.tree[relative] = entry.is_regular_file() ? ReadFile(entry.path()) : "<folder>";
        }
        return outcome;
    };
    const Outcome one = copyAll("out1", 1, false);
    const Outcome three = copyAll("out3", 3, false);
    EXPECT_EQ(one.counts.copied, 398);
    EXPECT_EQ(one.counts.failed, 1);
    ASSERT_EQ(one.records.skipped.size(), 1u);
    EXPECT_EQ(three.counts.copied, one.counts.copied);
    EXPECT_EQ(three.counts.failed, one.counts.failed);
    EXPECT_FALSE(three.counts.stopped);
    EXPECT_EQ(three.log, one.log);
    EXPECT_EQ(three.records.copied, one.records.copied);
    ASSERT_EQ(three.records.failed.size(), 1u);
    EXPECT_EQ(three.records.failed[0].path, one.records.failed[0].path);
    EXPECT_EQ(three.records.skipped[0].path, one.records.skipped[0].path);
    EXPECT_EQ(three.tree, one.tree);
    EXPECT_EQ(three.tree.size(), 398u + 7u + 1u);  // the files, their folders and the folder in the way

    const Outcome stopped = copyAll("out-stopped", 3, true);
    EXPECT_TRUE(stopped.counts.stopped);
    EXPECT_EQ(stopped.counts.copied, 0);
    EXPECT_EQ(stopped.tree.size(), 2u);  // only the folder in the way and its parent
}

}  // namespace
}  // namespace quernfold
