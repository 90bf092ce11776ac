#include "engine/page/PageExpander.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <string>

#include "engine/text/Errors.h"
#include "engine/log/LogText.h"
#include "tests/support/MemorySiteFiles.h"
#include "engine/page/OutputSink.h"

namespace quernfold {
namespace {

const std::string kWarningBanner(79, '#');

// A site in memory below "/w/", expanded the way the run does it.
class PageExpanderTest : public ::testing::Test {
protected:
    std::string Expand(const std::string& page, const std::string& sourceType = "jsp",
                       const std::string& outputType = "html", CodePageChoice choice = CodePageChoice::Auto) {
        state.siteRoot = "/w/";
        ExpanderSettings settings{sourceType, outputType, choice, '/'};
        settings.dropServerCode = dropServerCode;
        settings.anyCaseLinks = anyCaseLinks;
        PageExpander expander(settings, state, files, log);
        StringOutput out;
        failure = expander.ExpandSourcePage(page, out);
        return out.Text();
    }
    // The log without its leading CR LF, lines split.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::string text = log.Text();
        std::size_t at = 0;
        while ((at = text.find("\r\n", at)) != std::string::npos) {
            at += 2;
            const std::size_t next = text.find("\r\n", at);
            lines.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        }
        return lines;
    }

    MemorySiteFiles files;
    ExpansionContext state;
    LogText log;
    std::optional<std::string> failure;
    bool dropServerCode = false;
    bool anyCaseLinks = false;
};

struct LineCase {
    const char* name;
    std::string page;
    std::string sourceType;
    std::string expected;
};

class PageExpanderLines : public PageExpanderTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(PageExpanderLines, ExpandsAsTheRulesSay) {
    files.Add("/w/p.page", GetParam().page);
    EXPECT_EQ(Expand("/w/p.page", GetParam().sourceType), GetParam().expected);
    EXPECT_EQ(log.Text(), "");
    EXPECT_FALSE(failure);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PageExpanderLines,
    ::testing::Values(
        LineCase{"CrLfCrAndLfAllEndLines", "a\r\nb\rc\nd", "jsp", "a\r\nb\r\nc\r\nd\r\n"},
        LineCase{"EmptyFileHasNoLines", "", "jsp", ""},
        LineCase{"EmptyLinesStay", "\r\n\r\n", "jsp", "\r\n\r\n"},
        LineCase{"BlockAloneGivesOneEmptyLine", "<% x = 1 %>", "jsp", "\r\n"},
        LineCase{"TextAroundABlockSplits", "abc<%x%>def", "jsp", "abc\r\ndef\r\n"},
        LineCase{"TwoBlocksGiveTwoEmptyLines", "<%a%><%b%>", "jsp", "\r\n\r\n"},
        LineCase{"StrayEndMarkerIsText", "50%>30", "jsp", "50%>30\r\n"},
        LineCase{"MarkerSplitOverLinesIsNoMarker", "a<\r\n%b", "jsp", "a<\r\n%b\r\n"},
        LineCase{"BlockOverThreeLinesAsp", "<% a\r\nb\r\nc %>", "asp", "\r\n<% a\r\nbc %>\r\n"},
        LineCase{"BlockOverThreeLinesWrittenBackAsp", "<%\r\nx = 1\r\n%>", "asp", "\r\n<%\r\nx = 1%>\r\n"},
        LineCase{"StartMarkerInsideBlockDropsThatLinesCode", "<% a\r\nx<% y %>z", "asp",
                 "\r\n\r\n<% a y %>\r\nz\r\n"},
        LineCase{"BlockOpenAtTheEndIsDropped", "keep\r\n<% lost\r\nlost too", "asp", "keep\r\n\r\n"},
        LineCase{"EmptyLineInsideBlockAddsCrLf", "<%a\r\n\r\nb%>", "asp", "\r\n<%a\r\nb%>\r\n"},
        LineCase{"RewriteIsPlainAndCaseSensitive", "a.jsp?id=1 b.JSP c.jspf", "jsp", "a.html?id=1 b.JSP c.htmlf\r\n"},
        LineCase{"RewriteDoesNotLookAgainAtReplacedText", "x.jsp.jsp", "jsp", "x.html.html\r\n"},
        LineCase{"EmptySourceTypeRewritesEveryFullStop", "a.b.c", "", "a.htmlb.htmlc\r\n"},
        LineCase{"JspBlockThatIsNoIncludeWritesNothing", "<%@ page import=\"java.util.*\" %>x", "jsp", "\r\nx\r\n"},
        LineCase{"AspBlockIsWrittenBack", "<% int a = 1; %>", "asp", "\r\n<% int a = 1; %>\r\n"},
        LineCase{"AspLineWithoutBangIsNotRewritten", "-- include --> x", "asp", "-- include --> x\r\n"},
        LineCase{"AspLineWithoutIncludeKeepsComments", "<!-- note -->", "asp", "<!-- note -->\r\n"},
        LineCase{"AspCapitalIncludeIsText", "<!--#INCLUDE file=\"a.asp\"-->", "asp",
                 "<!--#INCLUDE file=\"a.html\"-->\r\n"},
        // Ordinary code that mentions includes is no directive: written back for ASP, dropped for JSP, no warning.
        LineCase{"CommentMentioningIncludeFileIsNoDirectiveAsp", "<% ' ADO constants include file for VBScript %>",
                 "asp", "\r\n<% ' ADO constants include file for VBScript %>\r\n"},
        LineCase{"CommentMentioningIncludeFileIsNoDirectiveJsp", "a<% // include file here %>b", "jsp",
                 "a\r\nb\r\n"},
        LineCase{"BlockEndingInKeywordIsNoDirective", "<% include file %>after", "jsp", "\r\nafter\r\n"},
        LineCase{"EmptyTargetDoesNothing", "<%@ include file=\"\" %>x", "jsp", "\r\nx\r\n"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// The publishing options: each case is expanded with the option on and compared with the page as it comes out
// with the option off, so a case also shows what the option changes.
struct OptionCase {
    const char* name;
    std::string page;
    std::string sourceType;
    std::string withOption;
    std::string without;
};

class PageExpanderDropServerCode : public PageExpanderTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(PageExpanderDropServerCode, DropsAspBlocksButExpandsIncludes) {
    files.Add("/w/p.page", GetParam().page);
    files.Add("/w/inc/top.htm", "TOP<% topCode %>");
    dropServerCode = true;
    EXPECT_EQ(Expand("/w/p.page", GetParam().sourceType, "htm"), GetParam().withOption);
    EXPECT_FALSE(failure);
    dropServerCode = false;
    EXPECT_EQ(Expand("/w/p.page", GetParam().sourceType, "htm"), GetParam().without);
    EXPECT_EQ(log.Text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Options, PageExpanderDropServerCode,
    ::testing::Values(
        OptionCase{"AspBlockIsDropped", "a<% Set c = Server.CreateObject(\"ADODB.Connection\") %>b", "asp",
                   "a\r\nb\r\n", "a\r\n<% Set c = Server.CreateObject(\"ADODB.Connection\") %>\r\nb\r\n"},
        OptionCase{"AspBlockOverLinesIsDropped", "<%\r\nx = 1\r\n%>after", "asp", "\r\nafter\r\n",
                   "\r\n<%\r\nx = 1%>\r\nafter\r\n"},
        // The include's own code blocks go too: the option holds for every file the page takes in.
        OptionCase{"AspIncludeIsStillExpanded", "<!--#include file=\"inc/top.asp\"-->x", "asp",
                   "\r\nTOP\r\nx\r\n", "\r\nTOP\r\n<% topCode %>\r\nx\r\n"},
        OptionCase{"CommentOnAnIncludeLineIsDroppedAsABlock", "<!--#include file=\"inc/top.asp\"--><!-- note -->",
                   "asp", "\r\nTOP\r\n\r\n", "\r\nTOP\r\n<% topCode %>\r\n\r\n<% note %>\r\n"},
        OptionCase{"JspPagesAreAsBefore", "a<% int i; %>b", "jsp", "a\r\nb\r\n", "a\r\nb\r\n"}),
    [](const ::testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

class PageExpanderAnyCaseLinks : public PageExpanderTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(PageExpanderAnyCaseLinks, RewritesOtherLetterCasesAtAWordEnd) {
    files.Add("/w/p.page", GetParam().page);
    anyCaseLinks = true;
    EXPECT_EQ(Expand("/w/p.page", GetParam().sourceType, "htm"), GetParam().withOption);
    anyCaseLinks = false;
    EXPECT_EQ(Expand("/w/p.page", GetParam().sourceType, "htm"), GetParam().without);
    EXPECT_EQ(log.Text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Options, PageExpanderAnyCaseLinks,
    ::testing::Values(
        OptionCase{"MixedAndUpperCase", "<a href=\"CheckCode.Asp\">x</a> B.ASP?id=1", "asp",
                   "<a href=\"CheckCode.htm\">x</a> B.htm?id=1\r\n",
                   "<a href=\"CheckCode.Asp\">x</a> B.ASP?id=1\r\n"},
        // Only the added variants need a word end; the exact spelling is rewritten as always.
        OptionCase{"VariantBeforeALetterDigitOrUnderscoreStays", "a.Aspx b.ASP2 c.Asp_d e.aspx", "asp",
                   "a.Aspx b.ASP2 c.Asp_d e.htmx\r\n", "a.Aspx b.ASP2 c.Asp_d e.htmx\r\n"},
        OptionCase{"VariantAtTheEndOfTheLineAndBeforePunctuation", "x.Asp#top,y.aSp", "asp",
                   "x.htm#top,y.htm\r\n", "x.Asp#top,y.aSp\r\n"},
        OptionCase{"JspVariants", "a.JSP b.Jsp c.JSPF", "jsp", "a.htm b.htm c.JSPF\r\n", "a.JSP b.Jsp c.JSPF\r\n"},
        // A non-ASCII character after the variant may be a letter of a longer extension: the variant stays.
        OptionCase{"VariantBeforeAGbkCharacterStays", "a.Asp\xd6\xd0 b.Asp\xa1\xa3", "asp",
                   "a.Asp\xd6\xd0 b.Asp\xa1\xa3\r\n", "a.Asp\xd6\xd0 b.Asp\xa1\xa3\r\n"}),
    [](const ::testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST_F(PageExpanderTest, CaseVariantInAnIncludeDirectiveNamesTheConvertedFile) {
    files.Add("/w/p.asp", "<!--#include file=\"Inc/Top.Asp\"-->");
    files.Add("/w/Inc/Top.htm", "TOP");
    anyCaseLinks = true;
    EXPECT_EQ(Expand("/w/p.asp", "asp", "htm"), "\r\nTOP\r\n");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(PageExpanderTest, AspOutputTypeHtmForIncludesAndWrittenBackComments) {
    files.Add("/w/p.asp", "<!--#include file=a.asp--><!-- note -->");
    files.Add("/w/a.htm", "A");
    EXPECT_EQ(Expand("/w/p.asp", "asp", "htm"), "\r\nA\r\n\r\n<% note %>\r\n");
}

TEST_F(PageExpanderTest, LongLinesWithMarkersHaveNoLengthLimit) {
    const std::string text(40000, 'x');
    files.Add("/w/p.jsp", text + "<% code %>" + text);
    EXPECT_EQ(Expand("/w/p.jsp"), text + "\r\n" + text + "\r\n");
}

TEST_F(PageExpanderTest, IncludeIsExpandedWhereItsDirectiveStood) {
    files.Add("/w/p.jsp", "before<%@ include file=\"/inc/top.jsp\" %>after");
    files.Add("/w/inc/top.html", "TOP1\r\nTOP2");
    EXPECT_EQ(Expand("/w/p.jsp"), "before\r\nTOP1\r\nTOP2\r\nafter\r\n");
}

TEST_F(PageExpanderTest, NestedIncludesResolveAgainstTheirOwnFolder) {
    files.Add("/w/news/p.jsp", "<%@ include file=\"../inc/a.inc\" %>");
    files.Add("/w/inc/a.inc", "A<%@ include file='sub/b.inc'%>");
    files.Add("/w/inc/sub/b.inc", "B<%@include file=\"/c.inc\"%>");
    files.Add("/w/c.inc", "C");
    EXPECT_EQ(Expand("/w/news/p.jsp"), "\r\nA\r\nB\r\nC\r\n");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(PageExpanderTest, SpacesAroundEqualsAndUnquotedTargets) {
    files.Add("/w/p.jsp", "<%@ include file = \"a.jsp\" %><%@ include file=b.inc %><%@ include virtual='c.inc' %>");
    files.Add("/w/a.html", "A");
    files.Add("/w/b.inc", "B");
    files.Add("/w/c.inc", "C");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nA\r\n\r\nB\r\n\r\nC\r\n");
}

TEST_F(PageExpanderTest, QuotedTargetKeepsItsSpaces) {
    files.Add("/w/p.jsp", "<%@ include file=\"my page.inc\" %>");
    files.Add("/w/my page.inc", "M");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nM\r\n");
}

TEST_F(PageExpanderTest, FileInsideAVirtualPathIsNotTheKeyword) {
    files.Add("/w/p.asp", "<!--#include virtual=\"/inc/profile.asp\"-->");
    files.Add("/w/inc/profile.asp", "P");  // found once the extension rewrite is undone
    EXPECT_EQ(Expand("/w/p.asp", "asp", "htm"), "\r\nP\r\n");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(PageExpanderTest, FirstKeywordFollowedByEqualsWins) {
    files.Add("/w/p.jsp", "<%@ include virtual=\"v.inc\" file=\"f.inc\" %>");
    files.Add("/w/v.inc", "V");
    files.Add("/w/f.inc", "F");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nV\r\n");
}

TEST_F(PageExpanderTest, UndoneExtensionFindsTheSourceFragment) {
    files.Add("/w/p.jsp", "<%@ include file=\"head.jspf\" %><%@ include file=\"top.jsp\" %>");
    files.Add("/w/head.jspf", "H");
    files.Add("/w/top.jsp", "T");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nH\r\n\r\nT\r\n");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(PageExpanderTest, LookUpIgnoresLetterCaseWhenUnique) {
    files.Add("/w/p.asp", "<!--#include file=\"Inc/Head.inc\"-->");
    files.Add("/w/inc/head.inc", "H");
    EXPECT_EQ(Expand("/w/p.asp", "asp", "htm"), "\r\nH\r\n");
}

TEST_F(PageExpanderTest, LookUpIgnoringCaseWorksBelowARelativeSiteRoot) {
    files.Add("Site/p.jsp", "<%@ include file=\"/INC/head.INC\" %>");
    files.Add("Site/inc/head.inc", "H");
    state.siteRoot = "Site/";
    PageExpander expander({"jsp", "html", CodePageChoice::Auto, '/'}, state, files, log);
    StringOutput out;
    expander.ExpandSourcePage("Site/p.jsp", out);
    EXPECT_EQ(out.Text(), "\r\nH\r\n");
}

TEST_F(PageExpanderTest, AmbiguousCaseMatchIsNotGuessed) {
    files.Add("/w/p.jsp", "<%@ include file=\"X.inc\" %>");
    files.Add("/w/x.inc", "lower");
    files.Add("/w/x.INC", "upper");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\n");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kWarningBanner, "提取/w/X.inc时异常：" + SystemReason(ENOENT)}));
    EXPECT_EQ(state.warningCount, 1);
}

TEST_F(PageExpanderTest, MissingIncludeWarnsWithTheResolvedPathAndThePageGoesOn) {
    files.Add("/w/news/p.jsp", "a<%@ include file=\"missing.jsp\" %>b\r\nc");
    EXPECT_EQ(Expand("/w/news/p.jsp"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{kWarningBanner, "提取/w/news/missing.html时异常：" + SystemReason(ENOENT)}));
    EXPECT_EQ(state.warningCount, 1);
    EXPECT_FALSE(failure);  // the source page itself was expanded
}

TEST_F(PageExpanderTest, SourcePageThatCannotBeOpenedFailsWithOneWarning) {
    EXPECT_EQ(Expand("/w/none.jsp"), "");
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, SystemReason(ENOENT));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kWarningBanner, "提取/w/none.jsp时异常：" + *failure}));
    EXPECT_EQ(state.warningCount, 1);
}

TEST_F(PageExpanderTest, FolderAsIncludeTargetIsRefused) {
    files.Add("/w/p.jsp", "<%@ include file=\"inc\" %>x");
    files.Add("/w/inc/a.inc", "A");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nx\r\n");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kWarningBanner, "提取/w/inc时异常：" + SystemReason(EISDIR)}));
}

TEST_F(PageExpanderTest, SelfIncludeGivesSixCopiesAndOneWarning) {
    files.Add("/w/p.jsp", "x<%@ include file=\"p.jsp\" %>");
    files.Add("/w/p.html", "x<%@ include file=\"p.jsp\" %>");
    const std::string out = Expand("/w/p.jsp");
    EXPECT_EQ(out, "x\r\nx\r\nx\r\nx\r\nx\r\nx\r\n");
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("提取/w/p.html时异常：", 0), 0u) << lines[1];
    EXPECT_EQ(state.warningCount, 1);
    EXPECT_EQ(state.pageDepth, 0);  // lowered again on every return
}

TEST_F(PageExpanderTest, SevenIncludesInOnePageAreAllExpanded) {
    std::string page;
    for (int i = 1; i <= 7; ++i) {
        page += "<%@ include file=\"i" + std::to_string(i) + ".inc\" %>";
        files.Add("/w/i" + std::to_string(i) + ".inc", std::to_string(i));
    }
    files.Add("/w/p.jsp", page);
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\n1\r\n\r\n2\r\n\r\n3\r\n\r\n4\r\n\r\n5\r\n\r\n6\r\n\r\n7\r\n");
    EXPECT_EQ(state.warningCount, 0);
}

TEST_F(PageExpanderTest, IncludeBudgetStopsAnExplosionWithOneWarning) {
    // Each file includes the next one ten times: without a budget this would be 11,111 expansions.
    for (int level = 1; level <= 4; ++level) {
        std::string text = "L" + std::to_string(level);
        for (int i = 0; i < 10; ++i) text += "<%@ include file=\"l" + std::to_string(level + 1) + ".inc\" %>";
        files.Add("/w/l" + std::to_string(level) + ".inc", text);
    }
    files.Add("/w/l5.inc", "L5");
    files.Add("/w/p.jsp", "<%@ include file=\"l1.inc\" %>");
    const std::string out = Expand("/w/p.jsp");
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("more than 1000 include directives"), std::string::npos);
    EXPECT_EQ(state.warningCount, 1);
    // 1,000 directives handled: each one expanded a file that starts with one "L" line.
    std::size_t expanded = 0;
    for (std::size_t at = 0; (at = out.find('L', at)) != std::string::npos; ++at) ++expanded;
    EXPECT_EQ(expanded, 1000u);
}

TEST_F(PageExpanderTest, IncludeOutsideTheSiteRootIsNeverRead) {
    files.Add("/w/p.jsp", "<%@ include file=\"../../etc/passwd\" %><%@ include file=\"/../secret.inc\" %>x");
    files.Add("/etc/passwd", "root:x:0:0");
    files.Add("/secret.inc", "secret");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\n\r\nx\r\n");
    EXPECT_EQ(files.OpenCount("/etc/passwd"), 0);
    EXPECT_EQ(files.OpenCount("/secret.inc"), 0);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].rfind("提取/etc/passwd时异常：", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("outside the site root"), std::string::npos);
    EXPECT_EQ(state.warningCount, 2);
}

TEST_F(PageExpanderTest, GbkBytesAreCopiedExactlyAndTrailBytesAreNoSeparators) {
    // 0x95 0x5C is one GBK character whose trail byte is "\"; 0xB1 0xED is another; 0xFF is invalid.
    const std::string text = "\xD6\xD0\xCE\xC4 \x95\x5C \xB1\xED \xFF end";
    files.Add("/w/p.jsp", text + "\r\n" + text + "<%@ include file=\"\x95\x5C.inc\" %>");
    files.Add("/w/\xE5\x95\x8A\\.inc", "wrong");  // what a bytewise "\" split would never find anyway
    files.Add("/w/\xE6\x95\x85.inc", "unused");
    const std::string out = Expand("/w/p.jsp");
    EXPECT_EQ(out.substr(0, 2 * (text.size() + 2)), text + "\r\n" + text + "\r\n");
}

TEST_F(PageExpanderTest, GbkTargetIsLookedUpAsUtf8ThenAsRawBytes) {
    // "新闻" in GBK is D0 C2 CE C5; in UTF-8 E6 96 B0 E9 97 BB.
    files.Add("/w/p.jsp", "<%@ include file=\"\xD0\xC2\xCE\xC5.inc\" %><%@ include file=\"\xCD\xB7.inc\" %>");
    files.Add("/w/\xE6\x96\xB0\xE9\x97\xBB.inc", "utf8 name");
    files.Add("/w/\xCD\xB7.inc", "raw name");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nutf8 name\r\n\r\nraw name\r\n");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(PageExpanderTest, TrailByteIsNeverTakenForAKeyword) {
    // 0x81 0x69 is one GBK character: the "i" after 0x81 does not start "include".
    files.Add("/w/p.jsp", "<%\x81include file=\"a.inc\" %>x");
    files.Add("/w/a.inc", "A");
    EXPECT_EQ(Expand("/w/p.jsp"), "\r\nx\r\n");
    EXPECT_EQ(files.OpenCount("/w/a.inc"), 0);
}

TEST_F(PageExpanderTest, Utf8MarkOfAnIncludedFileIsDroppedButTheSourcePageKeepsItsOwn) {
    files.Add("/w/p.jsp", "\xEF\xBB\xBFpage<%@ include file=\"a.inc\" %>");
    files.Add("/w/a.inc", "\xEF\xBB\xBFinc");
    EXPECT_EQ(Expand("/w/p.jsp"), "\xEF\xBB\xBFpage\r\ninc\r\n");
}

TEST_F(PageExpanderTest, Utf16PageIsRefused) {
    files.Add("/w/p.jsp", std::string("\xFF\xFE<\0%\0", 6));
    EXPECT_EQ(Expand("/w/p.jsp"), "");
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("UTF-16"), std::string::npos);
    EXPECT_EQ(state.warningCount, 1);
}

TEST_F(PageExpanderTest, DeclaredCharsetDecidesTheSegmentation) {
    // Big5 "功" is A5 5C: with big5 declared its trail byte is no separator, so the target stays one name.
    const std::string page = "<%@ page contentType=\"text/html; charset=big5\" %><%@ include file=\"\xA5\\a.inc\" %>";
    files.Add("/w/p.jsp", page);
    files.Add("/w/\xE5\x8A\x9F\\a.inc", "big5 name");
    files.Add("/w/\xEF\xBF\xBD/a.inc", "split");
    Expand("/w/p.jsp");
    // With Big5 the target holds a separator only after the character: "功" then "a.inc".
    EXPECT_EQ(files.OpenCount("/w/\xE5\x8A\x9F/a.inc") + files.OpenCount("/w/\xA5/a.inc"), 0);
}

// Streams a page of many short lines without holding it.
class GeneratedPage : public SourceFile {
public:
    explicit GeneratedPage(std::size_t bytes) : m_left(bytes) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        static const std::string kLine = "<p>line with a <a href=\"x.jsp\">link</a> and <% code %> in it</p>\r\n";
        std::size_t done = 0;
        while (done < size && m_left > 0) {
            const std::size_t take = std::min({size - done, m_left, kLine.size() - m_offset});
            std::memcpy(buffer + done, kLine.data() + m_offset, take);
            done += take;
            m_left -= take;
            m_offset = (m_offset + take) % kLine.size();
        }
        return done;
    }
    void Rewind() override { throw FileError("not rewindable"); }

private:
    std::size_t m_left;
    std::size_t m_offset = 0;
};

class GeneratedSite : public MemorySiteFiles {
public:
    std::unique_ptr<SourceFile> Open(const std::string&) override {
        return std::make_unique<GeneratedPage>(std::size_t{100} << 20);
    }
};

class CountingOutput : public OutputSink {
public:
    void Write(std::string_view bytes) override { written += bytes.size(); }
    std::size_t written = 0;
};

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(PageExpanderStreaming, HundredMegabytePageConvertsInFlatMemory) {
    GeneratedSite site;
    ExpansionContext state;
    state.siteRoot = "/w/";
    LogText log;
    // A fixed code page: the detection pass of "auto" would need to rewind the generated page.
    PageExpander expander({"jsp", "html", CodePageChoice::Gbk, '/'}, state, site, log);
    CountingOutput out;
    const long before = PeakRssKb();
    EXPECT_FALSE(expander.ExpandSourcePage("/w/big.jsp", out));
    const long grown = PeakRssKb() - before;
    EXPECT_GT(out.written, std::size_t{80} << 20);
    EXPECT_LT(grown, 16 * 1024) << "peak RSS grew by " << grown << " KB";
    std::printf("100 MB page: peak RSS grew by %ld KB\n", grown);
}

}  // namespace
}  // namespace quernfold
