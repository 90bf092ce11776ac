#include "engine/platform/posix/OutputFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/text/Errors.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

using test_support::FileSizeLimit;
using test_support::ReadFile;
using test_support::WriteFile;

namespace fs = std::filesystem;

// The error an operation throws, or "" when it does not.
template <typename Operation>
std::string OutputErrorOf(Operation operation) {
    try {
        operation();
    } catch (const OutputError& failure) {
        return failure.what();
    }
    return {};
}

class OutputFileTest : public ::testing::Test {
protected:
    // Every name in the folder, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> TemporaryNames() const {
        std::vector<std::string> names;
        for (const std::string& name : Names()) {
            if (name.starts_with(".quernfold-") && name.ends_with(".tmp")) names.push_back(name);
        }
        return names;
    }

    test_support::Sandbox sandbox;
    fs::path dir = sandbox.Root();
};

TEST_F(OutputFileTest, NothingShowsUnderAnyNameUntilPublished) {
    // Unnamed files where the file system has them, else one temporary file with a name nobody can guess.
    for (const bool unnamed : {true, false}) {
        WritePolicy policy;
        policy.unnamed = unnamed;
        for (const bool existed : {true, false}) {
            const fs::path target = dir / "page.html";
            fs::remove(target);
            if (existed) WriteFile(target, "old page");
            {
                OutputFile out(target.string(), policy);
                out.WriteLine("new");
                out.Write(std::string(300 * 1024, 'x'));  // more than the write buffer: on disk before the publish
                EXPECT_EQ(fs::exists(target) ? ReadFile(target) : "", existed ? "old page" : "");
                ASSERT_EQ(TemporaryNames().size(), unnamed ? 0u : 1u);
                if (!unnamed) {
                    EXPECT_EQ(ReadFile(dir / TemporaryNames()[0]).substr(0, 5), "new\r\n");
                }
                out.Publish();
            }
            EXPECT_EQ(ReadFile(target), "new\r\n" + std::string(300 * 1024, 'x')) << unnamed << existed;
            EXPECT_EQ(Names(), std::vector<std::string>{"page.html"}) << unnamed << existed;
        }
    }
}

TEST_F(OutputFileTest, TemporaryNamesCannotBeGuessed) {
    std::vector<std::string> names;
    for (int i = 0; i < 50; ++i) names.push_back(RandomTemporaryName());
    for (const std::string& name : names) {
        ASSERT_EQ(name.size(), std::string(".quernfold-").size() + 16 + 4) << name;
        EXPECT_TRUE(name.starts_with(".quernfold-") && name.ends_with(".tmp")) << name;
        EXPECT_EQ(name.find(std::to_string(::getpid())), std::string::npos) << name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

TEST_F(OutputFileTest, WritesOfEverySizeArriveInOrder) {
    const fs::path target = dir / "page.html";
    std::string expected;
    {
        OutputFile out(target.string());
        for (const std::size_t size : {1u, 262143u, 1u, 262144u, 5u, 1048577u, 0u, 3u}) {
            const std::string piece(size, static_cast<char>('a' + expected.size() % 26));
            out.Write(piece);
            expected += piece;
        }
        out.Publish();
    }
    EXPECT_TRUE(ReadFile(target) == expected);
}

TEST_F(OutputFileTest, PublishedFileHasTheModeOfANewFile) {
    const mode_t saved = ::umask(0);
    // Pages, the log and the report, and a new config.ini alike.
    const WritePolicy policies[] = {WritePolicy::Page(UINT64_MAX), WritePolicy::LogFile(), WritePolicy::Settings()};
    for (std::size_t kind = 0; kind < std::size(policies); ++kind) {
        for (const mode_t mask : {0022, 0077, 0002, 0000, 0027}) {
            ::umask(mask);
            const fs::path target = dir / ("file" + std::to_string(kind) + "-" + std::to_string(mask));
            OutputFile out(target.string(), policies[kind]);
            out.Write("x");
            out.Publish();
            struct stat info {};
            ASSERT_EQ(::stat(target.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << "policy " << kind << ", umask " << mask;
        }
    }
    ::umask(saved);
}

TEST_F(OutputFileTest, LinkPlantedAtTheTargetIsReplacedNeverWrittenThrough) {
    const fs::path victim = dir / "victim.txt";
    WriteFile(victim, "precious");
    fs::create_symlink(victim, dir / "page.html");
    fs::create_symlink(dir / "nowhere.txt", dir / "dangling.html");
    for (const char* name : {"page.html", "dangling.html"}) {
        OutputFile out((dir / name).string());
        out.Write("page");
        out.Publish();
        EXPECT_FALSE(fs::is_symlink(dir / name)) << name;
        EXPECT_EQ(ReadFile(dir / name), "page") << name;
    }
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_FALSE(fs::exists(dir / "nowhere.txt"));
}

TEST_F(OutputFileTest, NonRegularTargetIsWrittenInPlaceWhenAllowed) {
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, dir / "stdout-like");
    for (const char* name : {"pipe", "stdout-like"}) {
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        {
            OutputFile out((dir / name).string(), WritePolicy::LogFile());
            out.Write("through the pipe");
            out.Publish();
        }
        char buffer[64] = {};
        EXPECT_EQ(::read(reader, buffer, sizeof buffer), 16) << name;
        EXPECT_EQ(std::string(buffer), "through the pipe") << name;
        ::close(reader);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(dir / "stdout-like"));
    EXPECT_EQ(TemporaryNames().size(), 0u);

    // A regular file is still replaced, never truncated in place.
    const fs::path regular = dir / "run.log";
    WriteFile(regular, "earlier");
    OutputFile log(regular.string(), WritePolicy::LogFile());
    log.Write("later");
    EXPECT_EQ(ReadFile(regular), "earlier");
    log.Publish();
    EXPECT_EQ(ReadFile(regular), "later");

    WriteFileAtomically("/dev/null", "nothing", WritePolicy::LogFile());
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(OutputFileTest, WriteErrorStaysAndIsReportedByEveryLaterCall) {
    OutputFile out("/dev/full", WritePolicy::LogFile());
    const std::string full = SystemReason(ENOSPC);
    // The first small writes only fill the buffer; the error shows once it is written out.
    EXPECT_EQ(OutputErrorOf([&] { out.Write("small"); }), "");
    EXPECT_EQ(OutputErrorOf([&] { out.Write(std::string(1 << 20, 'x')); }), full);
    EXPECT_EQ(OutputErrorOf([&] { out.Write("y"); }), full);
    EXPECT_EQ(OutputErrorOf([&] { out.Publish(); }), full);
    out.Discard();  // never throws
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(OutputFileTest, ErrorAtPublishShowsEvenWhenEveryWriteWasBuffered) {
    OutputFile out("/dev/full", WritePolicy::LogFile());
    out.Write("fits in the buffer");
    EXPECT_EQ(OutputErrorOf([&] { out.Publish(); }), SystemReason(ENOSPC));
}

TEST_F(OutputFileTest, SizeLimitFailsTheFileAndPublishesNothing) {
    for (const bool existed : {true, false}) {
        const fs::path target = dir / "big.html";
        fs::remove(target);
        if (existed) WriteFile(target, "earlier");
        OutputFile out(target.string(), WritePolicy::Page(10));
        out.Write("123456");
        out.Write("7890");  // exactly the limit
        const std::string failure = OutputErrorOf([&] { out.Write("!"); });
        EXPECT_EQ(failure, "the output page is larger than the limit of 10 bytes");
        EXPECT_EQ(OutputErrorOf([&] { out.Write(""); }), failure);
        EXPECT_EQ(OutputErrorOf([&] { out.Publish(); }), failure);
        out.Discard();
        EXPECT_EQ(Names(), existed ? std::vector<std::string>{"big.html"} : std::vector<std::string>{});
        if (existed) {
            EXPECT_EQ(ReadFile(target), "earlier");
        }
    }
}

TEST_F(OutputFileTest, FullDiskKeepsTheEarlierFileWholeAndLeavesNoTemporaryFile) {
    const std::string earlier(300002, 'e');
    for (const bool unnamed : {true, false}) {
        const fs::path target = dir / "page.html";
        WriteFile(target, earlier);
        WritePolicy policy;
        policy.unnamed = unnamed;
        {
            FileSizeLimit limit(64 * 1024);  // the write fails part way, as on a full disk
            OutputFile out(target.string(), policy);
            EXPECT_EQ(OutputErrorOf([&] {
                          out.Write(std::string(200 * 1024, 'n'));
                          out.Write(std::string(200 * 1024, 'n'));
                          out.Publish();
                      }),
                      SystemReason(EFBIG));
        }
        EXPECT_TRUE(ReadFile(target) == earlier) << unnamed;
        EXPECT_EQ(Names(), std::vector<std::string>{"page.html"}) << unnamed;
    }
}

TEST_F(OutputFileTest, DiscardedOrAbandonedFileLeavesTheTargetAsItWas) {
    const fs::path target = dir / "page.html";
    WriteFile(target, "old page");
    {
        OutputFile out(target.string());
        out.Write(std::string(600 * 1024, 'x'));
        out.Discard();
    }
    {
        OutputFile abandoned(target.string());  // an exception between the open and the publish
        abandoned.Write("half");
    }
    EXPECT_EQ(ReadFile(target), "old page");
    EXPECT_EQ(Names(), std::vector<std::string>{"page.html"});
}

TEST_F(OutputFileTest, TargetThatCannotBeReplacedFailsAndLeavesNoTemporaryFile) {
    fs::create_directories(dir / "folder.html");
    {
        OutputFile out((dir / "folder.html").string());
        out.Write("page");
        EXPECT_NE(OutputErrorOf([&] { out.Publish(); }), "");
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder.html"));
    EXPECT_EQ(TemporaryNames().size(), 0u);
    EXPECT_EQ(OutputErrorOf([&] { OutputFile((dir / "missing" / "page.html").string()); }), SystemReason(ENOENT));
}

TEST_F(OutputFileTest, FolderThatCannotBeWrittenFailsWithTheSystemsReason) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into any folder; the fault matrix covers this as another user";
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(OutputErrorOf([&] { OutputFile((dir / "page.html").string()); }), SystemReason(EACCES));
}

TEST_F(OutputFileTest, WholeFileIsWrittenSafely) {
    const fs::path target = dir / "config.ini";
    WriteFile(target, "[sys]\r\nold=1\r\n");
    WriteFileAtomically(target.string(), "[sys]\r\nnew=1\r\n");
    EXPECT_EQ(ReadFile(target), "[sys]\r\nnew=1\r\n");
    EXPECT_EQ(Names(), std::vector<std::string>{"config.ini"});
}

}  // namespace
}  // namespace quernfold
