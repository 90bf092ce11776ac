// On Windows a folder given with '/' is the folder given with '\': the run and its log see only '\'.
#include "cli/CliArguments.h"

#include <gtest/gtest.h>

namespace quernfold {
namespace {

TEST(WindowsCliArgumentsTest, FoldersTakeBackslashes) {
    struct Case {
        std::string site;
        std::string output;
        std::string siteSeen;
        std::string outputSeen;
    };
    const Case cases[] = {
        {"C:/site", "D:/out/", "C:\\site", "D:\\out\\"},
        {"site/sub", "out", "site\\sub", "out"},
        {"C:\\site\\", "//server/share/out", "C:\\site\\", "\\\\server\\share\\out"},
        {"\xE7\xAB\x99\xE7\x82\xB9/a", "out/\xE8\xA1\xA8", "\xE7\xAB\x99\xE7\x82\xB9\\a", "out\\\xE8\xA1\xA8"},
    };
    for (const Case& c : cases) {
        const ParsedArguments parsed = ParseArguments({c.site, c.output});
        ASSERT_TRUE(parsed.error.empty()) << parsed.error;
        EXPECT_EQ(parsed.options.choices.siteRoot, c.siteSeen);
        EXPECT_EQ(parsed.options.choices.outputDir, c.outputSeen);
    }
}

}  // namespace
}  // namespace quernfold
