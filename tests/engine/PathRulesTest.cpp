#include "engine/output/PathRules.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace quernfold {
namespace {

// Comfortably past what a signed 16-bit position or segment index could hold.
constexpr int kMany = 40000;

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    text.reserve(piece.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) {
        text.append(piece);
    }
    return text;
}

// The tables are written with backslashes as on Windows; every case runs once as written and once with "/".
class PathRules : public testing::TestWithParam<char> {
protected:
    char Sep() const { return GetParam(); }

    std::string P(std::string_view text) const {
        std::string result(text);
        std::replace(result.begin(), result.end(), '\\', Sep());
        return result;
    }

    std::vector<std::string> P(const std::vector<std::string>& texts) const {
        std::vector<std::string> result;
        for (const std::string& text : texts) {
            result.push_back(P(text));
        }
        return result;
    }
};

INSTANTIATE_TEST_SUITE_P(Separators, PathRules, testing::Values('\\', '/'),
                         [](const testing::TestParamInfo<char>& info) {
                             return info.param == '\\' ? std::string("Backslash") : std::string("Slash");
                         });

TEST_P(PathRules, ParentDirDropsTheLastSegment) {
    struct Row {
        const char* path;
        const char* parent;
    };
    const Row rows[] = {
        {R"(D:\www\news\a.jsp)", R"(D:\www\news)"},
        {R"(D:\www\news\)", R"(D:\www\news)"},
        {"a.jsp", ""},
        {"", ""},
        {"D:", ""},
        {R"(D:\a\\b\c.jsp)", R"(D:\a\\b)"},
        {R"(D:\www\\a.jsp)", R"(D:\www\)"},
        // A root's leading separators stay, so absolute and network paths keep their meaning.
        {R"(\inc\a.jsp)", R"(\inc)"},
        {R"(\\srv\share\a.jsp)", R"(\\srv\share)"},
        {R"(\w\news\a.jsp)", R"(\w\news)"},
        {R"(\a.jsp)", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParentDir(P(row.path), Sep()), P(row.parent)) << row.path;
    }
}

TEST_P(PathRules, ResolveIncludePathFollowsTheTarget) {
    struct Row {
        const char* target;
        const char* resolved;
    };
    const Row rows[] = {
        {"head.jsp", R"(D:\www\news\head.jsp)"},
        {R"(inc\head.jsp)", R"(D:\www\news\inc\head.jsp)"},
        {R"(..\inc\head.jsp)", R"(D:\www\inc\head.jsp)"},
        {R"(\inc\head.jsp)", R"(D:\www\inc\head.jsp)"},
        {R"(.\inc\\head.jsp)", R"(D:\www\news\inc\head.jsp)"},
        {R"(inc\..)", R"(D:\www\news\inc\..)"},
        {R"(..\..\..\x.jsp)", R"(\x.jsp)"},
        {R"(C:\lib\x.jsp)", R"(D:\www\news\C:\lib\x.jsp)"},
        {R"(\)", R"(D:\www\)"},
        // A bare name is never interpreted.
        {"..", R"(D:\www\news\..)"},
        {".", R"(D:\www\news\.)"},
        {"", R"(D:\www\news\)"},
    };
    const std::string pageDir = P(R"(D:\www\news)");
    const std::string siteRoot = P(R"(D:\www\)");
    for (const Row& row : rows) {
        EXPECT_EQ(ResolveIncludePath(P(row.target), pageDir, siteRoot, Sep()), P(row.resolved)) << row.target;
    }
}

TEST_P(PathRules, ResolveIncludePathKeepsAnAbsoluteRoot) {
    EXPECT_EQ(ResolveIncludePath(P(R"(\inc\h.inc)"), P(R"(\w\news)"), P(R"(\w\)"), Sep()), P(R"(\w\inc\h.inc)"));
    EXPECT_EQ(ResolveIncludePath(P(R"(\inc\h.inc)"), P(R"(\w\news)"), P(R"(\)"), Sep()), P(R"(\inc\h.inc)"));
    EXPECT_EQ(ResolveIncludePath(P(R"(..\h.inc)"), P(R"(\w\news)"), P(R"(\w\)"), Sep()), P(R"(\w\h.inc)"));
    EXPECT_EQ(ResolveIncludePath(P(R"(..\h.inc)"), P(R"(\\srv\share\news)"), P(R"(\\srv\share\)"), Sep()),
              P(R"(\\srv\share\h.inc)"));
}

struct MapRow {
    const char* source;
    const char* output;
    std::vector<std::string> folders;
};

TEST_P(PathRules, PlanOutputPathMirrorsTheFoldersBelowTheSiteRoot) {
    const std::vector<MapRow> rows = {
        {R"(D:\www\index.jsp)", R"(E:\out\index.html)", {}},
        {R"(D:\www\news\archive\a.jsp)", R"(E:\out\news\archive\a.html)", {R"(E:\out\news)", R"(E:\out\news\archive)"}},
        {R"(D:\www\a.b.jsp)", R"(E:\out\a.b.html)", {}},
        {R"(D:\www\xjsp)", R"(E:\out\.html)", {}},
        {R"(D:\other\a.jsp)", R"(E:\out\a.html)", {}},
        // The prefix test is exact: no partial segment and no case folding.
        {R"(D:\www2\news\a.jsp)", R"(E:\out\a.html)", {}},
        {R"(D:\WWW\news\a.jsp)", R"(E:\out\a.html)", {}},
        // Empty segments below the root: the output root itself is never listed, a doubled separator stays.
        {R"(D:\www\\a.jsp)", R"(E:\out\a.html)", {}},
        {R"(D:\www\news\\a.jsp)", R"(E:\out\news\\a.html)", {R"(E:\out\news)", R"(E:\out\news\)"}},
    };
    for (const MapRow& row : rows) {
        const OutputPathPlan plan = PlanOutputPath(P(row.source), P(R"(D:\www\)"), P(R"(E:\out\)"), "html", Sep());
        EXPECT_EQ(plan.outputPath, P(row.output)) << row.source;
        EXPECT_EQ(plan.folders, P(row.folders)) << row.source;
    }
}

TEST_P(PathRules, PlanOutputPathMatchesRootsAtTheirOwnSegment) {
    const struct {
        const char* siteRoot;
        MapRow row;
    } rows[] = {
        {R"(D:\)", {R"(D:\news\a.jsp)", R"(E:\out\news\a.html)", {R"(E:\out\news)"}}},
        {R"(\w\)", {R"(\w\news\a.jsp)", R"(E:\out\news\a.html)", {R"(E:\out\news)"}}},
        {R"(\)", {R"(\w\news\a.jsp)", R"(E:\out\w\news\a.html)", {R"(E:\out\w)", R"(E:\out\w\news)"}}},
        {R"(\\srv\share\)", {R"(\\srv\share\news\a.jsp)", R"(E:\out\news\a.html)", {R"(E:\out\news)"}}},
    };
    for (const auto& [siteRoot, row] : rows) {
        const OutputPathPlan plan = PlanOutputPath(P(row.source), P(siteRoot), P(R"(E:\out\)"), "html", Sep());
        EXPECT_EQ(plan.outputPath, P(row.output)) << siteRoot;
        EXPECT_EQ(plan.folders, P(row.folders)) << siteRoot;
    }
}

TEST_P(PathRules, PlanOutputPathUsesTheOutputTypeAsGiven) {
    const std::string source = P(R"(D:\www\index.jsp)");
    EXPECT_EQ(PlanOutputPath(source, P(R"(D:\www\)"), P(R"(E:\out\)"), TrimSpaces("  htm  "), Sep()).outputPath,
              P(R"(E:\out\index.htm)"));
    EXPECT_EQ(PlanOutputPath(source, P(R"(D:\www\)"), P(R"(E:\out\)"), "", Sep()).outputPath, P(R"(E:\out\index.)"));
}

TEST_P(PathRules, IsInsideRootComparesWholeSegments) {
    struct Row {
        const char* path;
        const char* root;
        bool inside;
    };
    const Row rows[] = {
        {R"(D:\www\inc\h.inc)", R"(D:\www\)", true},
        {R"(site\inc\h.inc)", R"(site\\)", true},
        {R"(\w\.\inc\\h.inc)", R"(\w\)", true},
        {R"(\anything\x.inc)", R"(\)", true},
        {R"(site2\x.inc)", "site", false},
        {R"(\wx\a.inc)", R"(\w\)", false},
        {R"(C:\www\inc\h.inc)", R"(D:\www\)", false},
        {R"(\etc\passwd)", R"(\w\)", false},
        // The root itself is a folder, not a file inside it.
        {R"(\w\)", R"(\w\)", false},
        {R"(\w)", R"(\w\)", false},
        {R"(\)", R"(\)", false},
        // ".." takes back a segment, and climbing out of everything is never inside.
        {R"(\w\inc\..\h.inc)", R"(\w\)", true},
        {R"(\w\news\inc\..)", R"(\w\)", true},
        {R"(\w\inc\..)", R"(\w\)", false},
        {R"(\w\inc\..\..\etc\passwd)", R"(\w\)", false},
        {R"(\w\..\w\h.inc)", R"(\w\)", true},
        {R"(\..\w\h.inc)", R"(\w\)", false},
        {R"(\..\x)", R"(\)", false},
        // A relative root above the working folder holds what lies below it, and nothing beside or above it.
        {R"(..\site\inc\h.inc)", R"(..\site\)", true},
        {R"(..\..\site\h.inc)", R"(..\site\)", false},
        {R"(..\x.inc)", R"(.\)", false},
        {R"(site\..\..\x.inc)", R"(site\)", false},
        {R"(..\site\..\..\x.inc)", R"(..\)", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsInsideRoot(P(row.path), P(row.root), Sep()), row.inside) << row.path << " in " << row.root;
    }
}

TEST_P(PathRules, ResolvedClimbOutOfTheSiteIsNotInside) {
    const std::string siteRoot = P(R"(\w\)");
    const std::string resolved = ResolveIncludePath(P(R"(..\..\..\etc\passwd)"), P(R"(\w\news)"), siteRoot, Sep());
    EXPECT_EQ(resolved, P(R"(\etc\passwd)"));
    EXPECT_FALSE(IsInsideRoot(resolved, siteRoot, Sep()));
    EXPECT_FALSE(IsInsideRoot(ResolveIncludePath(P(R"(inc\..)"), siteRoot, siteRoot, Sep()), siteRoot, Sep()));
}

TEST_P(PathRules, OtherSeparatorIsAnOrdinaryCharacter) {
    const char other = Sep() == '\\' ? '/' : '\\';
    const std::string path = std::string("D:") + other + "www" + other + "a.jsp";
    EXPECT_EQ(ParentDir(path, Sep()), "");
    EXPECT_EQ(SplitKeepEmpty(path, Sep()).size(), 1u);
    EXPECT_EQ(ResolveIncludePath(path, P(R"(D:\www)"), P(R"(D:\)"), Sep()), P(R"(D:\www\)") + path);
    EXPECT_FALSE(IsInsideRoot(path, std::string("D:") + other, Sep()));
}

TEST(PathRulesText, WithTrailingSeparatorAddsAtMostOne) {
    EXPECT_EQ(WithTrailingSeparator(R"(D:\www)", '\\'), R"(D:\www\)");
    EXPECT_EQ(WithTrailingSeparator(R"(D:\www\)", '\\'), R"(D:\www\)");
    EXPECT_EQ(WithTrailingSeparator("", '\\'), "\\");
    EXPECT_EQ(WithTrailingSeparator("/w//", '/'), "/w//");
    EXPECT_EQ(WithTrailingSeparator("/w\\", '/'), "/w\\/");
}

TEST(PathRulesText, SplitKeepEmptyKeepsEveryPiece) {
    using Pieces = std::vector<std::string_view>;
    EXPECT_EQ(SplitKeepEmpty("", '/'), Pieces{});
    EXPECT_EQ(SplitKeepEmpty("a", '/'), Pieces{"a"});
    EXPECT_EQ(SplitKeepEmpty("/", '/'), (Pieces{"", ""}));
    EXPECT_EQ(SplitKeepEmpty("//a//b/", '/'), (Pieces{"", "", "a", "", "b", ""}));
}

TEST(PathRulesUndo, UndoExtensionRewriteTurnsOutputTypeBack) {
    struct Row {
        const char* name;
        const char* sourceType;
        const char* outputType;
        const char* undone;
    };
    const Row rows[] = {
        {"head.htmlf", "jsp", "html", "head.jspf"},
        {"top.html", "jsp", "html", "top.jsp"},
        {"a.html.html", "jsp", "html", "a.jsp.jsp"},
        {"x.html.bak", "asp", "html", "x.asp.bak"},
        {"top.html", "jsp", "", "top.html"},
        {"top.HTML", "jsp", "html", "top.HTML"},
        {"html", "jsp", "html", "html"},
        {"top.htm", "jsp", "html", "top.htm"},
        // The replacement is not searched again, and matches do not overlap.
        {"top.html", "jsp.html", "html", "top.jsp.html"},
        {"a.x.x.x", "jsp", "x.x", "a.jsp.x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UndoExtensionRewrite(row.name, row.sourceType, row.outputType), row.undone) << row.name;
    }
}

TEST(PathRulesLimits, ManySeparatorsJustWork) {
    const std::string deep = "r" + Repeat("/d", kMany);
    EXPECT_EQ(ParentDir(deep + "/a.jsp", '/'), deep);
    EXPECT_EQ(SplitKeepEmpty(deep, '/').size(), static_cast<std::size_t>(kMany) + 1);

    const std::string climb = Repeat("../", kMany - 1) + "x.jsp";
    EXPECT_EQ(ResolveIncludePath(climb, deep, "/", '/'), "r/d/x.jsp");
    EXPECT_EQ(ResolveIncludePath("/" + Repeat("i/", kMany) + "h.inc", "/w/news", "/w/", '/'),
              "/w" + Repeat("/i", kMany) + "/h.inc");

    const std::string deepRoot = "/" + Repeat("d/", kMany);
    const OutputPathPlan plan = PlanOutputPath(deepRoot + "news/a.jsp", deepRoot, "/out/", "html", '/');
    EXPECT_EQ(plan.outputPath, "/out/news/a.html");
    EXPECT_EQ(plan.folders, std::vector<std::string>{"/out/news"});
    EXPECT_EQ(PlanOutputPath(deepRoot + "a.jsp", "/w/", "/out/", "html", '/').outputPath, "/out/a.html");

    EXPECT_TRUE(IsInsideRoot(deepRoot + "h.inc", deepRoot, '/'));
    EXPECT_FALSE(IsInsideRoot(deepRoot + Repeat("../", kMany) + "h.inc", deepRoot, '/'));
    EXPECT_FALSE(IsInsideRoot(deepRoot + Repeat("../", kMany + 1) + "h.inc", "/", '/'));
}

TEST(PathRulesLimits, ManyDotsJustWork) {
    const std::string base = "a" + Repeat(".b", kMany);
    EXPECT_EQ(PlanOutputPath("/w/news/" + base + ".jsp", "/w/", "/out/", "html", '/').outputPath,
              "/out/news/" + base + ".html");
    EXPECT_EQ(PlanOutputPath("/w/" + Repeat(".", kMany), "/w/", "/out/", "html", '/').outputPath,
              "/out/" + Repeat(".", kMany - 1) + ".html");
    EXPECT_EQ(UndoExtensionRewrite(Repeat(".html", kMany), "jsp", "html"), Repeat(".jsp", kMany));
}

}  // namespace
}  // namespace quernfold
