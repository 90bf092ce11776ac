// Output files reuse their buffers from one file to the next; nothing of one file may reach another.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "engine/text/Errors.h"
#include "engine/platform/posix/OutputFile.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

using test_support::ReadFile;
using test_support::WriteFile;

namespace fs = std::filesystem;

class OutputFileBuffers : public ::testing::Test {
protected:
    test_support::Sandbox sandbox;
    fs::path dir = sandbox.Root();
};

struct Ending {
    const char* name;
    std::function<void(OutputFile&)> end;  // how the first file ends, with bytes still in its buffer
};

class OutputFileBufferEndings : public OutputFileBuffers, public ::testing::WithParamInterface<Ending> {};

TEST_P(OutputFileBufferEndings, UnwrittenBytesNeverReachTheNextFile) {
    {
        OutputFile first((dir / "first.html").string(), WritePolicy::Page(20));
        first.Write("stale bytes ");
        GetParam().end(first);
    }
    for (const char* name : {"second.html", "third.html"}) {
        OutputFile next((dir / name).string());
        next.Write("fresh");
        next.Publish();
        EXPECT_EQ(ReadFile(dir / name), "fresh") << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, OutputFileBufferEndings,
                         ::testing::Values(Ending{"Discarded", [](OutputFile& file) { file.Discard(); }},
                                           Ending{"Destroyed", [](OutputFile&) {}},
                                           Ending{"FailedAtTheSizeLimit",
                                                  [](OutputFile& file) {
                                                      EXPECT_THROW(file.Write("more than the limit"), OutputError);
                                                  }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OutputFileBuffers, FilesOpenAtOnceKeepTheirOwnBytes) {
    // The run writes a page while the --log file is open, and a page may be opened while another is pending.
    OutputFile log((dir / "log.txt").string());
    OutputFile page((dir / "page.html").string());
    OutputFile other((dir / "other.html").string());
    for (int i = 0; i < 100; ++i) {
        log.Write("L");
        page.Write("P");
        other.Write("O");
    }
    page.Publish();
    other.Publish();
    log.Publish();
    EXPECT_EQ(ReadFile(dir / "log.txt"), std::string(100, 'L'));
    EXPECT_EQ(ReadFile(dir / "page.html"), std::string(100, 'P'));
    EXPECT_EQ(ReadFile(dir / "other.html"), std::string(100, 'O'));
}

}  // namespace
}  // namespace quernfold
