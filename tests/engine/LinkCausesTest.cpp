// Why a broken link leads nowhere, for each cause on a small planted site and output tree in memory.

#include "engine/report/LinkCauses.h"

#include <gtest/gtest.h>

#include "engine/output/PageOutputs.h"
#include "tests/support/MemorySiteFiles.h"

namespace quernfold {
namespace {

struct CauseCase {
    const char* name;
    std::string page;  // the output page that holds the link
    std::string link;
    std::string target;
    std::string cause;
    std::string detail;
    bool copiedStaticFiles = true;
};

class LinkCausesTest : public ::testing::TestWithParam<CauseCase> {
protected:
    LinkCausesTest() {
        site.Add("/s/d/B.asp", "page");
        site.Add("/s/gone.asp", "a page that failed");
        site.Add("/s/inc/top.htm", "included");
        site.Add("/s/data/shop.mdb", "database");
        site.Add("/s/img/logo.GIF", "GIF89a");
        output.Add("/o/d/B.htm", "page");
        output.Add("/o/d/p.htm", "the page with the links");
        output.Add("/o/img/logo.GIF", "GIF89a");
    }

    MemorySiteFiles site;
    MemorySiteFiles output;
    std::vector<std::string> pages = {"/s/d/B.asp", "/s/gone.asp"};
    PageOutputs outputs{pages, [](const std::string& page) {
                            return "/o/" + page.substr(3, page.size() - 6) + "htm";
                        }};
    std::vector<PathReason> skipped = {{"/s/inc/top.htm", "a page of this run includes it"}};
};

TEST_P(LinkCausesTest, NamesTheCause) {
    const CauseCase& c = GetParam();
    LinkCauses causes({"/s/", "/o/", "asp", "htm", c.copiedStaticFiles, DefaultAssetRules("asp"), &outputs, &skipped},
                      site, output);
    BrokenLink link{c.page, 3, c.link, c.target, 1, "", ""};
    causes.Explain(link);
    EXPECT_EQ(link.cause, c.cause);
    EXPECT_EQ(link.detail, c.detail);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, LinkCausesTest,
    ::testing::Values(
        CauseCase{"NotInTheSiteEither", "/o/d/p.htm", "x.gif", "/o/d/x.gif", "missing", ""},
        CauseCase{"OneLevelUpStaysInside", "/o/d/p.htm", "../x.gif", "/o/x.gif", "missing", ""},
        CauseCase{"AboveTheOutputRoot", "/o/d/p.htm", "../../x.gif", "/o/x.gif", "outside", ""},
        CauseCase{"ServerCodeInTheValue", "/o/d/p.htm", "<%=url%>.htm", "/o/d/<%=url%>.htm", "serverCode", ""},
        CauseCase{"JspExpressionInTheValue", "/o/d/p.htm", "${ctx}/a.css", "/o/d/${ctx}/a.css", "serverCode", ""},
        CauseCase{"JspTagInTheValue", "/o/d/p.htm", "<c:url value=", "/o/d/<c:url value=", "serverCode", ""},
        CauseCase{"AngleBracketWithoutAPrefix", "/o/d/p.htm", "a<b.htm", "/o/d/a<b.htm", "missing", ""},
        CauseCase{"TheOutputOfAFailedPage", "/o/d/p.htm", "/gone.htm", "/o/gone.htm", "pageFailed", ""},
        CauseCase{"SourceExtensionBesideTheConvertedPage", "/o/d/p.htm", "B.Asp?id=1", "/o/d/B.Asp",
                  "sourceExtension", "/o/d/B.htm (--links-any-case rewrites it)"},
        CauseCase{"SourceExtensionAndLetterCase", "/o/d/p.htm", "b.ASP", "/o/d/b.ASP", "sourceExtension",
                  "/o/d/B.htm (--links-any-case rewrites it)"},
        CauseCase{"SourceExtensionWithoutAConvertedPage", "/o/d/p.htm", "C.ASP", "/o/d/C.ASP", "missing", ""},
        CauseCase{"FolderAndNameInAnotherLetterCase", "/o/d/p.htm", "/IMG/Logo.gif", "/o/IMG/Logo.gif", "letterCase",
                  "/o/img/logo.GIF"},
        CauseCase{"IncludedFileIsNeverCopied", "/o/d/p.htm", "/inc/top.htm", "/o/inc/top.htm", "notCopied",
                  "a page of this run includes it"},
        CauseCase{"TypeNotOnTheList", "/o/d/p.htm", "/data/shop.mdb", "/o/data/shop.mdb", "notCopied",
                  "its type is not on the list of static files"},
        CauseCase{"StaticFilesNotAskedFor", "/o/d/p.htm", "/data/shop.mdb", "/o/data/shop.mdb", "notCopied",
                  "static files were not copied (-a)", false}),
    [](const ::testing::TestParamInfo<CauseCase>& info) { return std::string(info.param.name); });

TEST(LinkCausesCount, EveryCauseIsListedInOrderWithItsCount) {
    std::vector<BrokenLink> links(3);
    links[0].cause = "outside";
    links[1].cause = "missing";
    links[2].cause = "outside";
    const auto counts = CountByCause(links);
    ASSERT_EQ(counts.size(), 7u);
    EXPECT_EQ(counts[0], (std::pair<std::string, std::int64_t>{"missing", 1}));
    EXPECT_EQ(counts[6], (std::pair<std::string, std::int64_t>{"outside", 2}));
    EXPECT_EQ(counts[2].second, 0);
}

}  // namespace
}  // namespace quernfold
