// Output paths that differ only in letter case are one file on Windows: the later page finds the earlier claim.
#include "engine/output/PageOutputs.h"

#include <gtest/gtest.h>

namespace quernfold {
namespace {

TEST(WindowsPageOutputsTest, LetterCaseNamesOneFile) {
    const std::vector<std::string> pages = {"a.jsp", "sub\\b.JSP", "c.jsp"};
    const PageOutputs outputs(pages, [](const std::string& page) {
        return "C:\\out\\" + page.substr(0, page.size() - 4) + (page.ends_with(".JSP") ? ".HTML" : ".html");
    });
    EXPECT_EQ(outputs.FirstPageWith("C:\\OUT\\A.html"), 0u);
    EXPECT_EQ(outputs.FirstPageWith("c:\\out\\SUB\\b.html"), 1u);
    EXPECT_EQ(outputs.FirstPageWith("C:\\out\\d.html"), std::nullopt);

    PageOutputs claims(pages, [](const std::string&) { return std::string("C:\\out\\Same.html"); });
    EXPECT_TRUE(claims.Claim(0, "C:\\out\\Same.html"));
    EXPECT_FALSE(claims.Claim(2, "C:\\OUT\\same.HTML"));  // the file the first page wrote
    EXPECT_TRUE(claims.IsClaimed("c:\\out\\SAME.html"));
}

}  // namespace
}  // namespace quernfold
