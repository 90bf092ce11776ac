#include "engine/output/PathRules.h"
#include "engine/page/PageLinks.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/report/LinkCheck.h"
#include "engine/output/PageOutputs.h"
#include "engine/page/CssLinks.h"
#include "engine/page/LinkScanningOutput.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;

std::string Joined(CodePage cp, std::string_view text) {
    std::vector<FoundLink> links;
    FindLinks(cp, text, links);
    std::string joined;
    for (const FoundLink& link : links) {
        EXPECT_EQ(text.substr(link.offset, link.value.size()), link.value);
        joined += (link.base ? "base[" : "[") + std::string(link.value) + "]";
    }
    return joined;
}

TEST(FindLinks, TakesAttributeValuesAndCssUrlsAtCharacterBoundaries) {
    struct Row {
        CodePage cp;
        std::string text;
        std::string links;
    };
    const Row rows[] = {
        {CodePage::Utf8, R"x(<a href="a.html">x</a>)x", "[a.html]"},
        {CodePage::Utf8, R"x(<IMG SRC='b.gif' Background=c.jpg>)x", "[b.gif][c.jpg]"},
        {CodePage::Utf8, R"x(<form action = "post.html" method=post>)x", "[post.html]"},
        {CodePage::Utf8, R"x(<video poster="p.png" src=v.mp4>)x", "[p.png][v.mp4]"},
        {CodePage::Utf8, R"x(<div style="background:url(bg.png)">)x", "[bg.png]"},
        {CodePage::Utf8, R"x(.x{background: URL( "q.png" )} .y{b:url('r.png')})x", "[q.png][r.png]"},
        {CodePage::Utf8, R"x(<img data-src="no.png" alt="src=no" title='href="no"'>)x", ""},
        {CodePage::Utf8, R"x(a.href = "no.html"; x.src=y;)x", ""},
        {CodePage::Utf8, R"x(<a href>x</a><a href=>y</a><a href=")x", ""},
        {CodePage::Utf8, "<img alt=\"图\" src=\"图片/a.png\">", "[图片/a.png]"},
        // A GBK character whose trail byte is "u": no "url(" starts inside it.
        {CodePage::Gbk, "\x81url(x.png) \xb1\xea url(y.png)", "[y.png]"},
        // A GBK trail byte "\\" inside a value is part of its character.
        {CodePage::Gbk, "<img src=\"\x81\x5c.gif\">", "[\x81\x5c.gif]"},
        {CodePage::Gbk, "<a href=\xcd\xbc\xc6\xac/b.htm>", "[\xcd\xbc\xc6\xac/b.htm]"},
        // What a browser never follows: comments, script bodies, and server code wherever it stands.
        {CodePage::Utf8, R"x(<!-- <a href="old.html"> --><a href="new.html">)x", "[new.html]"},
        {CodePage::Utf8, R"x(<!--><a href=in.html>--> <a href=out.html>)x", "[out.html]"},
        {CodePage::Utf8, R"x(<script src="a.js"></script><img src="b.gif">)x", "[a.js][b.gif]"},
        {CodePage::Utf8, R"x(<SCRIPT type="text/javascript">x='<img src="no.gif">'</Script ><a href=c.html>)x",
         "[c.html]"},
        {CodePage::Utf8, R"x(<scripts src="s.js"><a href=d.html>)x", "[s.js][d.html]"},
        {CodePage::Utf8, R"x(<% Response.Write "<a href=HALTED>" %><a href="e.html">)x", "[e.html]"},
        {CodePage::Utf8, R"x(<img alt="<%= T("a") %>" src="f.gif">)x", "[f.gif]"},
        {CodePage::Utf8, R"x(<a href="<%=u%>.asp">)x", "[<%=u%>.asp]"},  // the value itself: server code
        {CodePage::Utf8, R"x(<p title="<!-- x -->"><a href=g.html>)x", "[g.html]"},
        {CodePage::Utf8, R"x(<base href="/sub/"><a href="h.html"><link href=i.css>)x", "base[/sub/][h.html][i.css]"},
        {CodePage::Utf8, R"x(<base target="_top" href='x/'>)x", "base[x/]"},
        // A custom tag's attributes are the server's: <s:url action=...> is no form.
        {CodePage::Utf8, R"x(<s:url action="login"/><html:link href="a.do">a</html:link><a href=b.html>)x", "[b.html]"},
        {CodePage::Gbk, "<!-- \xb1\xea --><script>\x81<\x81\x5c</script><img src=\"\xb1\xea.gif\">",
         "[\xb1\xea.gif]"},
    };
    for (const Row& row : rows) EXPECT_EQ(Joined(row.cp, row.text), row.links) << row.text;
}

TEST(LocalLinkPath, KeepsLocalFilesDecodedAndDropsTheRest) {
    struct Row {
        CodePage cp;
        std::string value;
        const char* path;  // nullptr: not a local file
    };
    const Row rows[] = {
        {CodePage::Utf8, "a.html", "a.html"},
        {CodePage::Utf8, " ../img/b.gif ", "../img/b.gif"},
        {CodePage::Utf8, "/css/site.css?v=3#top", "/css/site.css"},
        {CodePage::Utf8, "list.html#p2", "list.html"},
        {CodePage::Utf8, "my%20file%2Ehtml", "my file.html"},
        {CodePage::Utf8, "%E5%9B%BE.png", "图.png"},
        {CodePage::Utf8, "100%.png", "100%.png"},  // not an escape
        {CodePage::Utf8, "img\\a.gif", "img/a.gif"},
        {CodePage::Gbk, "\x81\x5c.gif", "乗.gif"},
        {CodePage::Gbk, "\xcd\xbc\xc6\xac/", "图片/"},
        {CodePage::Utf8, "#top", nullptr},
        {CodePage::Utf8, "?page=2", nullptr},
        {CodePage::Utf8, "", nullptr},
        {CodePage::Utf8, "http://example.com/a.html", nullptr},
        {CodePage::Utf8, "//cdn.example.com/a.js", nullptr},
        {CodePage::Utf8, "mailto:a@b.c", nullptr},
        {CodePage::Utf8, "JavaScript:void(0)", nullptr},
        {CodePage::Utf8, "data:image/png;base64,AAAA", nullptr},
        {CodePage::Utf8, "c:x.png", nullptr},  // reads as a scheme, as a browser would
        // Character references are decoded as a browser reads the attribute, before the query is cut off.
        {CodePage::Utf8, "a&amp;b.css", "a&b.css"},
        {CodePage::Utf8, "a&#38;b&#x26;c&#X26;d.css", "a&b&c&d.css"},
        {CodePage::Utf8, "list.html&#63;id=1&amp;p=2", "list.html"},
        {CodePage::Utf8, "&#35;top", nullptr},
        {CodePage::Utf8, "a&b.css", "a&b.css"},          // no reference: left as written
        {CodePage::Utf8, "&#22270;&#x7247;.png", "图片.png"},
        {CodePage::Utf8, "a&copy;b&#xD800;.css", "a&copy;b&"},  // unknown or invalid: as written, "#" cuts
        {CodePage::Gbk, "\xcd\xbc&amp;.png", "图&.png"},
    };
    for (const Row& row : rows) {
        const auto path = LocalLinkPath(row.cp, row.value);
        if (row.path) {
            EXPECT_EQ(path.value_or("<none>"), row.path) << row.value;
        } else {
            EXPECT_FALSE(path) << row.value << " -> " << path.value_or("");
        }
    }
}

TEST(ResolveLinkTarget, ResolvesAgainstThePageFolderWithinTheOutputRoot) {
    struct Row {
        const char* link;
        const char* pageFolder;
        const char* target;
    };
    const Row rows[] = {
        {"a.html", "/o/", "/o/a.html"},
        {"a.html", "/o/news/", "/o/news/a.html"},
        {"../img/b.gif", "/o/news/", "/o/img/b.gif"},
        {"./x/../y.css", "/o/", "/o/y.css"},
        {"/css/s.css", "/o/news/deep/", "/o/css/s.css"},
        {"../../../../a.gif", "/o/news/", "/o/a.gif"},  // never above the output root
        {"sub/", "/o/news/", "/o/news/sub/"},
        {"/", "/o/news/", "/o/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ResolveLinkTarget(row.link, row.pageFolder, "/o/"), row.target) << row.link << " in " << row.pageFolder;
    }
}

// An included file in another code page: each piece is read in its own, and lines count across pieces.
TEST(LinkScanningOutput, ReadsEachPieceInItsCodePageAndCountsOutputLines) {
    StringOutput inner;
    LinkScanningOutput out(inner);
    out.SwitchCodePage(CodePage::Gbk);
    out.WriteLine("<html>");
    out.Write("<a href=\"\x81\x5c.html\">");
    const CodePage page = out.SwitchCodePage(CodePage::Utf8);
    EXPECT_EQ(page, CodePage::Gbk);
    out.WriteLine("\r\n<img src=\"图.png\"><a href=\"http://x/\">");
    out.SwitchCodePage(page);
    out.WriteLine("<link href=\"/s.css?v=1\">");
    EXPECT_EQ(inner.Text(),
              "<html>\r\n<a href=\"\x81\x5c.html\">\r\n<img src=\"图.png\"><a href=\"http://x/\">\r\n"
              "<link href=\"/s.css?v=1\">\r\n");
    ASSERT_EQ(out.Links().size(), 4u);
    // The web URL is noted whole, for the link check to tell whether it names this machine.
    const std::tuple<std::int64_t, std::string, NoteKind> expected[] = {{2, "乗.html", NoteKind::Link},
                                                                        {3, "图.png", NoteKind::Link},
                                                                        {3, "http://x/", NoteKind::AbsoluteUrl},
                                                                        {4, "/s.css", NoteKind::Link}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(out.Links()[i].line, std::get<0>(expected[i])) << i;
        EXPECT_EQ(out.Links()[i].path, std::get<1>(expected[i])) << i;
        EXPECT_EQ(out.Links()[i].kind, std::get<2>(expected[i])) << i;
    }
    EXPECT_EQ(out.Links()[0].link, "乗.html");  // the link as written, in UTF-8
    EXPECT_EQ(out.Links()[3].link, "/s.css?v=1");
    EXPECT_EQ(out.Links()[3].queries, std::vector<std::string>{"v=1"});
}

// A comment, a script or server code opened in one write ends in a later one; a <base> holds for what follows.
TEST(LinkScanningOutput, CarriesCommentsScriptsServerCodeAndBaseAcrossWrites) {
    StringOutput inner;
    LinkScanningOutput out(inner);
    out.SwitchCodePage(CodePage::Utf8);
    for (const char* line : {"<a href=\"one.html\"> <!-- old menu", "<a href=\"gone.html\">", "--> <img src=\"two.gif\">",
                             "<script>", "var a = '<a href=\"js.html\">';", "</script><%", "x.src = HALTED",
                             "%><base href=\"../up/\"><a href=\"three.html\"><a href=\"/four.html\">",
                             "<base href=\"http://www.example.com/\"><a href=\"five.html\"><a href=\"/six.html\">"}) {
        out.WriteLine(line);
    }
    std::vector<std::string> paths;
    std::vector<std::int64_t> lines;
    for (const PageLink& link : out.Links()) {
        if (link.kind == NoteKind::ServerCode) continue;  // the "<%" left on line 6, noted apart
        paths.push_back(link.path);
        lines.push_back(link.line);
    }
    // A base on another host is itself a web URL, and relative references after it lead there.
    EXPECT_EQ(paths, (std::vector<std::string>{"one.html", "two.gif", "../up/three.html", "/four.html",
                                               "http://www.example.com/", "/six.html"}));
    EXPECT_EQ(lines, (std::vector<std::int64_t>{1, 3, 8, 8, 9, 9}));
    // A whole file read at once is scanned the same way.
    std::vector<PageLink> whole;
    CollectLinks(CodePage::Utf8, inner.Text(), whole);
    std::vector<std::string> wholePaths;
    for (const PageLink& link : whole) wholePaths.push_back(link.path);
    EXPECT_EQ(wholePaths, paths);
}

TEST(LinkCheck, ListsTargetsMissingAtTheEndWithCaseAndFoldersCounting) {
    const test_support::Sandbox sandbox;
    const fs::path root = sandbox.Root();
    test_support::WriteFile(root / "news" / "a.html", "x");
    test_support::WriteFile(root / "img" / "Logo.png", "x");
    const std::string out = root.string() + "/";
    LinkCheck check(out);
    std::vector<PageLink> links = {
        {1, "a.html", "a.html"},           {2, "../img/Logo.png", "../img/Logo.png"},
        {3, "../img/logo.png", "../img/logo.png"},  // another letter case
        {4, "../img/", "../img/"},         {5, "late.css", "late.css"},
        {6, "/news", "/news"},             {7, "gone.html", "gone.html"},
    };
    check.Add(out + "news/a.html", links);
    test_support::WriteFile(root / "news" / "late.css", "x");  // published after the page
    const std::vector<BrokenLink> broken = check.Finish();
    if constexpr (kNativeSeparator == '\\') {
        // Windows finds a file whatever the letter case of the link, as its web server does.
        ASSERT_EQ(broken.size(), 1u);
        EXPECT_EQ(broken[0].target, root.string() + "\\news\\gone.html");
        return;
    }
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_EQ(broken[0].line, 3);
    EXPECT_EQ(broken[0].target, out + "img/logo.png");
    EXPECT_EQ(broken[0].page, out + "news/a.html");
    EXPECT_EQ(broken[1].link, "gone.html");
    EXPECT_EQ(broken[1].target, out + "news/gone.html");
}

// Past the bound the entries are counted, not listed; one whose target a static file provides later is not counted.
TEST(LinkCheck, ListIsBoundedAndTheRestCountedOnlyWhileTheirTargetIsMissing) {
    const test_support::Sandbox sandbox;
    const fs::path root = sandbox.Root();
    const std::string out = root.string() + kNativeSeparator;  // as the run gives the output paths
    LinkCheck check(out, nullptr, {}, 2);
    check.Add(out + "a.html", {{1, "x.gif", "x.gif", 3}, {2, "./x.gif", "./x.gif", 2}, {3, "y.gif", "y.gif", 1}});
    check.Add(out + "b.html", {{1, "x.gif", "x.gif", 1}, {2, "img/z.png", "img/z.png", 1}, {3, "w.gif", "w.gif", 1}});
    test_support::WriteFile(root / "img" / "z.png", "x");
    check.Appeared(out + "img" + kNativeSeparator + "z.png");
    const std::vector<BrokenLink> broken = check.Finish();
    ASSERT_EQ(broken.size(), 2u);
    EXPECT_EQ(broken[0].target, out + "x.gif");
    EXPECT_EQ(broken[0].count, 5);  // two spellings of one target, merged with their counts
    EXPECT_EQ(broken[1].target, out + "y.gif");
    EXPECT_EQ(check.TotalFound(), 4);  // b.html's x.gif and w.gif, unlisted; z.png appeared
    EXPECT_TRUE(check.Truncated());
}

// The scanner notes one entry per path with the number of references and the first line.
TEST(LinkScanningOutput, MergesRepeatedReferencesOfOnePage) {
    struct Sink : OutputSink {
        void Write(std::string_view) override {}
    } sink;
    LinkScanningOutput out(sink);
    for (int i = 0; i < 1000; ++i) out.Write("<img src=\"a.gif\"> <a href=\"b.htm\">b</a>\n");
    ASSERT_EQ(out.Links().size(), 2u);
    EXPECT_EQ(out.Links()[0].line, 1);
    EXPECT_EQ(out.Links()[0].count, 1000);
    EXPECT_EQ(out.Links()[1].path, "b.htm");
}

// A reference to a later page is kept as two numbers; if that page fails, its text comes from collecting again.
TEST(LinkCheck, ReferencesToLaterPagesAreBrokenOnlyWhenThatPageFails) {
    const test_support::Sandbox sandbox;
    const std::string out = sandbox.Root().string() + kNativeSeparator;  // as the run gives the output paths
    const std::vector<std::string> pages = {"p0", "p1", "p2"};
    const PageOutputs outputs(pages, [&](const std::string& page) { return out + page + ".html"; });
    const std::vector<PageLink> links = {{1, "p1.html", "p1.html"}, {2, "p2.html?x#y", "p2.html"},
                                         {3, "gone.html", "gone.html"}, {4, "/p2.html", "/p2.html"}};
    int collected = 0;
    LinkCheck check(out, &outputs, [&](std::size_t page) {
        EXPECT_EQ(page, 0u);
        ++collected;
        return links;
    });
    test_support::WriteFile(out + "p0.html", "x");
    check.AddPage(0, out + "p0.html", links);
    test_support::WriteFile(out + "p1.html", "x");  // p2 fails: nothing is published for it
    const std::vector<BrokenLink> broken = check.Finish();
    EXPECT_EQ(collected, 1);
    ASSERT_EQ(broken.size(), 3u);
    EXPECT_EQ(broken[0].line, 2);
    EXPECT_EQ(broken[0].link, "p2.html?x#y");
    EXPECT_EQ(broken[0].target, out + "p2.html");
    EXPECT_EQ(broken[1].link, "gone.html");
    EXPECT_EQ(broken[2].line, 4);
}

// Query strings to a converted page and URLs to this machine are listed apart, never as broken links.
TEST(LinkCheck, ListsDynamicLinksAndUrlsToThisMachineApart) {
    const test_support::Sandbox sandbox;
    const std::string out = sandbox.Root().string() + kNativeSeparator;
    const std::vector<std::string> pages = {"p0", "p1", "p2"};
    const PageOutputs outputs(pages, [&](const std::string& page) { return out + page + ".html"; });
    std::vector<PageLink> links;
    PageLinkList list(links);
    StringOutput inner;
    LinkScanningOutput scanned(inner);
    scanned.SwitchCodePage(CodePage::Utf8);
    scanned.WriteLine("<a href=\"p1.html?id=1\"><a href=\"p1.html?id=2#x\"><a href=\"./p1.html?id=1\">");
    scanned.WriteLine("<a href=\"p2.html?id=1\"><link href=\"s.css?v=1\"><a href=\"p1.html\">");
    for (const char* url : {"http://LOCALHOST:8080/a.asp", "https://127.0.0.1/", "http://127.0.0.256/",
                            "//[::1]/x", "http://user@Intranet/x", "http://example.com/", "http://0.0.0.0/",
                            "http://127.1/", "http://localhost.example.com/"}) {
        scanned.WriteLine(std::string("<img src=\"") + url + "\">");
    }
    LinkCheck check(out, &outputs, [&](std::size_t) { return scanned.Links(); }, LinkCheck::kMostListed, {"intranet"});
    test_support::WriteFile(out + "s.css", "x");
    test_support::WriteFile(out + "p0.html", "x");
    check.AddPage(0, out + "p0.html", scanned.Links());
    test_support::WriteFile(out + "p1.html", "x");  // p2 fails
    const std::vector<BrokenLink> broken = check.Finish();
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].link, "p2.html?id=1");
    const BoundedList<DynamicLink> dynamic = check.TakeDynamicLinks();
    ASSERT_EQ(dynamic.entries.size(), 1u);
    EXPECT_EQ(dynamic.total, 1);
    EXPECT_EQ(dynamic.entries[0].target, out + "p1.html");
    EXPECT_EQ(dynamic.entries[0].queries, 2);  // id=1 twice, and id=2
    EXPECT_EQ(dynamic.entries[0].count, 3);  // the reference without a query is no dynamic one
    EXPECT_EQ(dynamic.entries[0].link, "p1.html?id=1");
    const BoundedList<BrokenLink> local = check.TakeAbsoluteLocal();
    std::vector<std::string> hosts;
    for (const BrokenLink& link : local.entries) hosts.push_back(link.target + "@" + std::to_string(link.line));
    EXPECT_EQ(hosts, (std::vector<std::string>{"localhost@3", "127.0.0.1@4", "[::1]@6", "intranet@7", "0.0.0.0@9"}));
    EXPECT_EQ(local.total, 5);
    EXPECT_FALSE(local.truncated);
}

}  // namespace
}  // namespace quernfold

namespace quernfold {
namespace {

// A style sheet: url() and @import outside comments, each path once with its first line.
TEST(CssLinks, TakesUrlsAndImportsOutsideComments) {
    struct Row {
        CodePage cp;
        std::string css;
        std::string links;  // path@line, in order
    };
    const Row rows[] = {
        {CodePage::Utf8, "@import \"a.css\";\n@import url(b.css) screen;\n@IMPORT 'c.css';", "a.css@1 b.css@2 c.css@3 "},
        {CodePage::Utf8, "x{background:url( \"../i/d.png\" )}\n\ny{b:Url('e.png?v=2#x')} z{b:url(f.png)}",
         "../i/d.png@1 e.png@3 f.png@3 "},
        {CodePage::Utf8, "/* url(no.png)\n@import \"no.css\"; */ a{b:url(g.png)}", "g.png@2 "},
        {CodePage::Utf8, "a{b:url(data:image/png;base64,AA==)} c{d:url(http://x/y.png)} e{f:url(#m)}",
         "web:http://x/y.png@1 "},
        {CodePage::Utf8, "a{b:myurl(no.png); c:url(h.png); d:url(./h.png)}", "h.png@1 ./h.png@1 "},
        {CodePage::Utf8, "a{b:url(a&amp;b.png)} /* open", "a&amp;b.png@1 "},  // no character references in CSS
        // GBK: a character whose trail byte is "u" does not start "url(".
        {CodePage::Gbk, "\x81url(no.png) a{b:url(\xcd\xbc.gif)}", "图.gif@1 "},
    };
    for (const Row& row : rows) {
        std::vector<PageLink> links;
        CollectCssLinks(row.cp, row.css, links);
        std::string joined;
        for (const PageLink& link : links) {
            joined += (link.kind == NoteKind::AbsoluteUrl ? "web:" : "") + link.path + "@" +
                      std::to_string(link.line) + " ";
        }
        EXPECT_EQ(joined, row.links) << row.css;
    }
}

}  // namespace
}  // namespace quernfold
