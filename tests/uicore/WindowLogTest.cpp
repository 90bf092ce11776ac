#include "ui/core/WindowLog.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace quernfold {
namespace {

using Lines = std::vector<std::string>;

TEST(WindowLog, ABatchIsWhatWaitedAndTheTextFollowsThePane) {
    WindowLog log(" ");
    log.Append("a");
    log.Append("b");
    WindowLog::Batch batch = log.Take();
    EXPECT_FALSE(batch.cleared);
    EXPECT_EQ(batch.lines, (Lines{"a", "b"}));
    EXPECT_EQ(log.Text(), " \r\na\r\nb");

    // A clear drops what was queued before it and empties the text; what came after it stays.
    log.Append("c");
    log.Clear();
    log.Append("d");
    batch = log.Take();
    EXPECT_TRUE(batch.cleared);
    EXPECT_EQ(batch.lines, (Lines{"d"}));
    EXPECT_EQ(log.Text(), "\r\nd");

    batch = log.Take();
    EXPECT_FALSE(batch.cleared);
    EXPECT_TRUE(batch.lines.empty());
    EXPECT_EQ(log.Text(), "\r\nd");
}

TEST(WindowLog, LinesFromAnotherThreadArriveWholeAndInOrderWhileBatchesAreTaken) {
    WindowLog log("");
    constexpr int kLines = 20000;
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) log.Append(std::to_string(i));
    });
    Lines seen;
    while (seen.size() < static_cast<std::size_t>(kLines)) {
        for (std::string& line : log.Take().lines) seen.push_back(std::move(line));
    }
    worker.join();
    std::string expected;
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], std::to_string(i));
        expected += "\r\n" + std::to_string(i);
    }
    EXPECT_EQ(log.Text(), expected);
}

}  // namespace
}  // namespace quernfold
