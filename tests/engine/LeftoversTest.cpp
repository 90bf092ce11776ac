#include "engine/page/Leftovers.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/report/LeftoverList.h"

namespace quernfold {
namespace {

// kind@firstLine×count for each note, in order.
std::string Found(CodePage cp, std::string_view text, bool serverCode) {
    std::vector<PageLink> notes;
    PageLinkList list(notes);
    FindLeftovers(cp, text, 1, serverCode, list);
    std::string joined;
    for (const PageLink& note : notes) {
        joined += (note.kind == NoteKind::ServerCode ? "code " : "exp ") + note.path + "@" + std::to_string(note.line) +
                  "x" + std::to_string(note.count) + " ";
    }
    return joined;
}

TEST(Leftovers, FindsServerCodeAndExposuresByKindWithTheirFirstLine) {
    struct Row {
        CodePage cp;
        std::string text;
        bool serverCode;
        std::string found;
    };
    const Row rows[] = {
        {CodePage::Utf8, "<p>plain</p>\n<a href=\"x.html\">", true, ""},
        {CodePage::Utf8, "<% a %>\n<%= b %> <% c %>\n", true, "code <%@1x3 "},
        {CodePage::Utf8, "<c:url value=\"/a\"/> ${user.name}\n<s:property/><fmt:message/>", true,
         "code <c:@1x1 code ${@1x1 code <s:@2x1 code <fmt:@2x1 "},
        {CodePage::Utf8, "<% x %>", false, ""},  // a copied file: exposures only
        {CodePage::Utf8,
         "conn.Open \"PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=\" & Server.MapPath(\"db/shop.mdb\")\n"
         "x = \"jdbc:mysql://db/shop?user=a&password=b\"\n",
         false, "exp Provider=@1x1 exp Data Source=@1x1 exp Server.MapPath@1x1 exp .mdb@1x1 exp jdbc:@2x1 exp password=@2x1 "},
        // Each line that shows a kind counts once; words that only look alike do not count.
        {CodePage::Utf8, "a.mdb b.mdb\nc.MDB\nguid=1 userpwd=2 x.dbf my.db-x .db", false, "exp .mdb@1x2 exp .db@3x1 "},
        {CodePage::Utf8, "uid=sa;pwd=secret\n数据.accdb", false, "exp pwd=@1x1 exp uid=@1x1 exp .accdb@2x1 "},
        // GBK: a character whose trail byte is "u" does not start "uid=".
        {CodePage::Gbk, "\x81uid=1 \xb1\xea", false, ""},
    };
    for (const Row& row : rows) EXPECT_EQ(Found(row.cp, row.text, row.serverCode), row.found) << row.text;
}

TEST(Leftovers, ListIsBoundedButEveryFileIsCounted) {
    LeftoverList list(2);
    std::vector<PageLink> notes;
    PageLinkList adding(notes);
    FindLeftovers(CodePage::Utf8, "<% a %> ${b}\nProvider=x", 1, true, adding);
    list.AddFile("/o/a.html", notes);
    list.AddFile("/o/b.html", notes);
    list.AddFile("/o/c.html", {});
    RunReport report;
    list.MoveInto(report);
    EXPECT_EQ(report.pagesWithServerCode, 2);
    EXPECT_EQ(report.filesWithExposures, 2);
    ASSERT_EQ(report.serverCode.entries.size(), 2u);
    EXPECT_EQ(report.serverCode.total, 4);
    EXPECT_TRUE(report.serverCode.truncated);
    EXPECT_EQ(report.serverCode.entries[1].kind, "${");
    EXPECT_EQ(report.serverCode.entries[1].text, "<% a %> ${b}");
    EXPECT_EQ(report.exposures.total, 2);
    EXPECT_FALSE(report.exposures.truncated);
    EXPECT_EQ(report.exposures.entries[1].page, "/o/b.html");
    EXPECT_EQ(report.exposures.entries[1].line, 2);
}

}  // namespace
}  // namespace quernfold
