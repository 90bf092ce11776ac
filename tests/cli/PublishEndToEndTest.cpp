// quernfold-cli with static files (-a) and the JSON report on one planted site: the whole stdout log, the
// output tree, a second run over the unchanged site, a changed file and a copy that fails, and the report read
// back with a JSON parser.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "tests/cli/CliTestSupport.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::ProcessResult;
using test_support::ReadFile;
using test_support::ReadTree;
using test_support::Tree;
using test_support::WriteFile;

std::string Converted(const std::string& source, const std::string& output) {
    return test_support::Started(source) + test_support::Generated(output);
}

std::string Summary(int pages, const std::string& staticLine) {
    return test_support::Summary(pages, pages, 0, 0, staticLine);
}

std::string StaticLine(int total, int unchanged, int failed) {
    return "复制静态文件" + std::to_string(total) + "个，其中未变化" + std::to_string(unchanged) + "个，失败" +
           std::to_string(failed) + "个\n";
}

const std::string kPagesLog = Converted("site/about.jsp", "out/about.html") +
                              Converted("site/index.jsp", "out/index.html") +
                              Converted("site/my page.jsp", "out/my page.html") +
                              Converted("site/news/list.jsp", "out/news/list.html");
// With -a one line follows the last page's, before the copy starts.
const std::string kCopyingLog = kPagesLog + "开始复制静态文件\n";

// The static files a run copies, with their bytes.
const std::vector<std::pair<std::string, std::string>> kCopied = {
    {"robots.txt", "User-agent: *\n# was: Provider=SQLOLEDB;Server=db;uid=sa\n"},  // a copied text file exposes
    // A style sheet's references are its own folder's: ../img/ from css/.
    {"css/a.css", "@import \"base.css\";\nbody { background: url(../img/Logo.PNG) }\n/* url(old.png) */\n"
                  ".x { background: URL( '../img/none.png' ) }\n"},
    {"img/Logo.PNG", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
    {"static/old.htm", "<p>old</p>\n<a href=\"gone.htm\">g</a> <a href=\"../robots.txt\">r</a>\n"},
};

// The HTML report read back: every count of its totals, and the rows of each list, equal the JSON report's.
void ExpectHtmlAgrees(const std::string& html, const nlohmann::json& report) {
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>")) << html.substr(0, 100);
    EXPECT_EQ(html.find("<script"), std::string::npos);  // self-contained, nothing fetched
    EXPECT_EQ(html.find(" src="), std::string::npos);  // no outside resource
    EXPECT_EQ(html.find(" href="), std::string::npos);
    std::map<std::string, long long> counts;
    const std::regex cell("data-count=\"([A-Za-z.]+)\">([0-9]+)<");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), cell); it != std::sregex_iterator(); ++it) {
        counts[(*it)[1]] = std::stoll((*it)[2]);
    }
    std::map<std::string, long long> expected;
    for (const char* key : {"pages", "converted", "failed", "warnings", "dynamicLinks", "absoluteLocal",
                            "pagesWithServerCode", "filesWithExposures"}) {
        expected[key] = report["totals"][key];
    }
    for (const auto& [cause, count] : report["totals"]["brokenLinks"].items()) expected["brokenLinks." + cause] = count;
    expected["brokenLinksTotal"] = report["brokenLinksTotal"];
    expected["skipped"] = static_cast<long long>(report["assets"]["skipped"].size());
    EXPECT_EQ(counts, expected);
    auto rows = [&](const std::string& mark) {
        std::size_t found = 0;
        for (std::size_t at = html.find(mark); at != std::string::npos; at = html.find(mark, at + 1)) ++found;
        return found;
    };
    EXPECT_EQ(rows("<li data-broken>"), report["brokenLinks"].size());
    EXPECT_EQ(rows("<tr data-serverCode>"), report["serverCode"].size());
    EXPECT_EQ(rows("<tr data-exposures>"), report["exposures"].size());
    EXPECT_EQ(rows("<tr data-dynamic>"), report["dynamicLinks"].size());
    EXPECT_EQ(rows("<tr data-local>"), report["absoluteLocal"].size());
    EXPECT_EQ(rows("<tr data-skipped>"), report["assets"]["skipped"].size());
    // Broken links stand under their cause, each cause once.
    EXPECT_EQ(rows("<h3>"), static_cast<std::size_t>(std::count_if(
                                report["totals"]["brokenLinks"].begin(), report["totals"]["brokenLinks"].end(),
                                [](const nlohmann::json& count) { return count.get<int>() > 0; })));
}

class PublishRun : public testing::Test {
protected:
    void SetUp() override {
        const fs::path site = Site();
        WriteFile(site / "index.jsp",
                  "<html><head><link rel=\"stylesheet\" href=\"css/a.css\"></head>\n"
                  "<body><img src=\"img/Logo.PNG\"> <img src=\"/img/logo.png\">\n"
                  "<a href=\"news/list.jsp?x=1#top\">n</a> <a href=\"news/\">f</a> <a href=\"my%20page.jsp\">m</a>\n"
                  "<a href=\"missing.jsp\">x</a> <a href=\"http://example.com/\">e</a> <a href=\"#top\">t</a>\n"
                  "<%@ include file=\"inc/head.htm\" %>\n"
                  "<a href=\"inc/head.htm\">h</a>\n"
                  // No reference a browser follows: a comment and a script body; then a <base> moves the rest.
                  "<!-- <a href=\"old/gone.html\">x</a> -->\n"
                  "<script>document.write('<img src=\"gen.gif\">');</script>\n"
                  "<base href=\"news/\"><a href=\"list.jsp\">l</a> <a href=\"nothere.html\">z</a>\n"
                  // Not broken: query strings to a converted page, and URLs to the old server.
                  "<a href=\"list.jsp?id=1\">1</a> <a href=\"list.jsp?id=2\">2</a> <a href=\"list.jsp?id=1\">1</a>\n"
                  "<img src=\"http://localhost:8080/img/a.gif\"> <a href=\"http://OLDBOX/x.jsp\">o</a>\n");
        WriteFile(site / "inc" / "head.htm", "<a href=\"../up.htm\">u</a>\n");
        WriteFile(site / "my page.jsp", "<p>plain</p>\n");
        WriteFile(site / "about.jsp", "<p>about</p>\n");
        WriteFile(site / "about.html", "static twin of about.jsp\n");
        // GBK: "返回", "图" and a character whose trail byte is "\".
        WriteFile(site / "news" / "list.jsp",
                  "<meta charset=\"gbk\"><a href=\"../index.jsp\">\xb7\xb5\xbb\xd8</a>\n"
                  "<img src=\"\xcd\xbc.gif\" alt=\"\xcd\xbc\">\n"
                  "<a href=\"\x81\x5c.htm\">x</a> <a href=\"/static/old.htm\">o</a>\n");
        for (const auto& [path, bytes] : kCopied) WriteFile(site / path, bytes);
        // Never published, whatever the list says.
        for (const char* path : {"data/shop.mdb", "WEB-INF/web.xml", "WEB-INF/x.css", "conn.jsp.txt",
                                 "index.jsp.html", ".svn/y.css", "global.asa", "x.properties", "index.jsp.bak"}) {
            WriteFile(site / path, "secret");
        }
    }

    fs::path Site() const { return m_work.Site(); }
    fs::path Out() const { return m_work.Out(); }
    ProcessResult Run(std::vector<std::string> args, const std::string& outputDir = "out") const {
        args.insert(args.end(), {"site", outputDir});
        return m_work.Run(args);
    }
    Tree ExpectedTree() const {
        Tree tree = ReadTree(Out());  // the pages, compared elsewhere
        for (auto it = tree.begin(); it != tree.end();) {
            it = it->first.ends_with(".html") && it->first != "static/old.htm" ? std::next(it) : tree.erase(it);
        }
        for (const std::string folder : {"css", "img", "news", "static"}) tree[folder] = "<folder>";
        for (const auto& [path, bytes] : kCopied) tree[path] = bytes;
        return tree;
    }

    test_support::Workspace m_work;
};

TEST_F(PublishRun, CopiesStaticFilesOnceAndReportsBrokenLinks) {
    fs::create_directories(Out());
    const ProcessResult first = Run({"-a", "--report", "r.json", "--local-host", "oldbox", "--report-html", "r.html"});
    EXPECT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(first.out, kCopyingLog + Summary(4, StaticLine(4, 0, 0)));
    const Tree tree = ReadTree(Out());
    EXPECT_EQ(tree, ExpectedTree());
    EXPECT_EQ(tree.count("about.html") ? tree.at("about.html") : "", "<p>about</p>\r\n");  // the page wins
    struct stat source {}, copy {};
    ASSERT_EQ(::stat((Site() / "img" / "Logo.PNG").c_str(), &source), 0);
    ASSERT_EQ(::stat((Out() / "img" / "Logo.PNG").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtim.tv_sec, source.st_mtim.tv_sec);
    EXPECT_EQ(copy.st_mtim.tv_nsec, source.st_mtim.tv_nsec);

    const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
    EXPECT_EQ(report["choices"], (nlohmann::json{{"siteRoot", "site/"}, {"sourceType", "jsp"}, {"outputType", "html"},
                                                 {"outputDir", "out/"}, {"encoding", "auto"}}));
    ASSERT_EQ(report["pages"].size(), 4u);
    EXPECT_EQ(report["pages"][3]["source"], "site/news/list.jsp");
    EXPECT_EQ(report["pages"][3]["output"], "out/news/list.html");
    EXPECT_EQ(report["pages"][3]["status"], "converted");
    EXPECT_EQ(report["assets"]["copied"],
              (nlohmann::json{"site/robots.txt", "site/css/a.css", "site/img/Logo.PNG", "site/static/old.htm"}));
    std::vector<std::string> skipped;
    for (const auto& item : report["assets"]["skipped"]) skipped.push_back(item["path"]);
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{"site/WEB-INF/", "site/about.html", "site/inc/head.htm",
                                                 "site/index.jsp.html"}));
    const nlohmann::json byCause{{"missing", 7},    {"notCopied", 1},  {"letterCase", 1}, {"sourceExtension", 0},
                                 {"pageFailed", 0}, {"serverCode", 0}, {"outside", 1}};
    EXPECT_EQ(report["totals"], (nlohmann::json{{"pages", 4},    {"converted", 4},           {"failed", 0},
                                                {"warnings", 0}, {"brokenLinks", byCause},
                                                {"dynamicLinks", 1}, {"absoluteLocal", 2},
                                                {"pagesWithServerCode", 0}, {"filesWithExposures", 1}}));
    EXPECT_EQ(report["exposures"], nlohmann::json::array({{{"page", "out/robots.txt"},
                                                           {"line", 2},
                                                           {"kind", "Provider="},
                                                           {"count", 1},
                                                           {"text", "# was: Provider=SQLOLEDB;Server=db;uid=sa"}},
                                                          {{"page", "out/robots.txt"},
                                                           {"line", 2},
                                                           {"kind", "uid="},
                                                           {"count", 1},
                                                           {"text", "# was: Provider=SQLOLEDB;Server=db;uid=sa"}}}));
    // One static page now stands for every query of news/list.jsp; two URLs name the old server.
    EXPECT_EQ(report["dynamicLinks"], nlohmann::json::array({{{"target", "out/news/list.html"},
                                                              {"queries", 3},
                                                              {"count", 4},
                                                              {"page", "out/index.html"},
                                                              {"line", 3},
                                                              {"link", "news/list.html?x=1#top"}}}));
    EXPECT_EQ(report["absoluteLocal"],
              nlohmann::json::array({{{"page", "out/index.html"}, {"line", 12},
                                      {"link", "http://localhost:8080/img/a.gif"}, {"host", "localhost"}, {"count", 1}},
                                     {{"page", "out/index.html"}, {"line", 12}, {"link", "http://OLDBOX/x.html"},
                                      {"host", "oldbox"}, {"count", 1}}}));
    // The run's last stderr line, after its final message, counts the broken links by cause.
    EXPECT_TRUE(first.err.ends_with("!\n"
                                 "quernfold-cli: 10 broken links: 7 missing, 1 notCopied, 1 letterCase, 1 outside (see the report)\n"
                                 "quernfold-cli: 0 published pages hold server code, 1 exposes connection details (see the report)\n"))
        << first.err;
    EXPECT_TRUE(report["stopped"].is_null());
    ExpectHtmlAgrees(ReadFile(m_work.Dir() / "r.html"), report);
    // Each broken link says why: a name in another letter case, a "../" above the output root, a file of the site
    // that a page includes (never published), and the rest not in the site either.
    auto entry = [](const char* page, int line, const char* link, const char* target, const char* cause,
                    const char* detail = nullptr) {
        nlohmann::json item{{"page", page}, {"line", line},   {"link", link},
                            {"target", target}, {"count", 1}, {"cause", cause}};
        if (detail) item["detail"] = detail;
        return item;
    };
    const nlohmann::json broken = nlohmann::json::array({
        entry("out/index.html", 2, "/img/logo.png", "out/img/logo.png", "letterCase", "out/img/Logo.PNG"),
        entry("out/index.html", 4, "missing.html", "out/missing.html", "missing"),
        entry("out/index.html", 6, "../up.htm", "out/up.htm", "outside"),
        entry("out/index.html", 7, "inc/head.htm", "out/inc/head.htm", "notCopied", "a page of this run includes it"),
        entry("out/index.html", 10, "nothere.html", "out/news/nothere.html", "missing"),
        entry("out/news/list.html", 2, "图.gif", "out/news/图.gif", "missing"),
        entry("out/news/list.html", 3, "乗.htm", "out/news/乗.htm", "missing"),
        entry("out/css/a.css", 1, "base.css", "out/css/base.css", "missing"),
        entry("out/css/a.css", 4, "../img/none.png", "out/img/none.png", "missing"),
        entry("out/static/old.htm", 2, "gone.htm", "out/static/gone.htm", "missing"),
    });
    EXPECT_EQ(report["brokenLinks"], broken) << report["brokenLinks"].dump(1);
    EXPECT_EQ(report["brokenLinksTotal"], broken.size());
    EXPECT_EQ(report["truncated"], false);
    // Pages converted ahead by workers are recorded in list order, with the same references, as one after another.
    for (const char* jobs : {"1", "3"}) {
        const ProcessResult again = Run({"-a", "-q", "-j", jobs, "--report", "again.json"});
        EXPECT_EQ(again.exitStatus, 0) << again.err;
        const nlohmann::json other = nlohmann::json::parse(ReadFile(m_work.Dir() / "again.json"));
        EXPECT_EQ(other["pages"], report["pages"]) << jobs;
        EXPECT_EQ(other["brokenLinks"], report["brokenLinks"]) << jobs;
        EXPECT_EQ(other["dynamicLinks"], report["dynamicLinks"]) << jobs;
    }

    // A second run over the unchanged site copies nothing.
    const ProcessResult second = Run({"-a"});
    EXPECT_EQ(second.exitStatus, 0);
    EXPECT_EQ(second.out, kCopyingLog + Summary(4, StaticLine(4, 4, 0)));
    EXPECT_EQ(ReadTree(Out()), tree);

    // A changed file is copied again; a copy that cannot land fails alone, and the run says so in its status.
    WriteFile(Site() / "css" / "a.css", "body { color: red }\n");
    const struct timespec later[2] = {{source.st_mtim.tv_sec + 10, 0}, {source.st_mtim.tv_sec + 10, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (Site() / "img" / "Logo.PNG").c_str(), later, 0), 0);
    fs::remove(Out() / "img" / "Logo.PNG");
    WriteFile(Out() / "img" / "Logo.PNG" / "blocker", "x");
    const ProcessResult third = Run({"-a"});
    EXPECT_EQ(third.exitStatus, 1);
    EXPECT_EQ(third.out, kCopyingLog + "复制静态文件site/img/Logo.PNG时异常,原因为：Is a directory\n" +
                             Summary(4, StaticLine(4, 2, 1)));
    EXPECT_EQ(ReadFile(Out() / "css" / "a.css"), "body { color: red }\n");
}

// The dry run's static files, as "path -> what": "copy", "unchanged" or the reason it is skipped.
std::map<std::string, std::string> DryRunStaticFiles(const std::string& out) {
    std::map<std::string, std::string> files;
    std::size_t start = 0;
    for (std::size_t end = out.find('\n'); end != std::string::npos; start = end + 1, end = out.find('\n', start)) {
        const std::string line = out.substr(start, end - start);
        if (const std::size_t skipped = line.find(" (skipped: "); skipped != std::string::npos) {
            files[line.substr(0, skipped)] = line.substr(skipped + 11, line.size() - skipped - 12);
        } else if (const std::size_t arrow = line.find(" -> "); arrow != std::string::npos) {
            const std::string path = line.substr(0, arrow);
            if (!path.ends_with(".jsp")) files[path] = line.ends_with(" (unchanged)") ? "unchanged" : "copy";
        }
    }
    return files;
}

// The dry run with -a says what the run then does: the same files copied, the same skipped for the same reasons,
// and after the run every copy unchanged.
TEST_F(PublishRun, DryRunListsTheStaticFilesAsTheRunCopiesAndSkipsThem) {
    fs::create_directories(Out());
    const ProcessResult before = Run({"-n", "-a"});
    EXPECT_EQ(before.exitStatus, 0) << before.err;
    EXPECT_EQ(ReadTree(Out()).size(), 0u);  // nothing written
    const ProcessResult run = Run({"-a", "-q", "--report", "r.json"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
    std::map<std::string, std::string> expected;
    for (const auto& path : report["assets"]["copied"]) expected[path] = "copy";
    for (const auto& item : report["assets"]["skipped"]) expected[item["path"]] = item["why"];
    EXPECT_EQ(DryRunStaticFiles(before.out), expected) << before.out;
    const ProcessResult after = Run({"-n", "-a"});
    for (const auto& path : report["assets"]["copied"]) expected[path] = "unchanged";
    EXPECT_EQ(DryRunStaticFiles(after.out), expected) << after.out;
    // Without -a the dry run lists the pages only, as before.
    const ProcessResult pagesOnly = Run({"-n"});
    EXPECT_EQ(DryRunStaticFiles(pagesOnly.out), (std::map<std::string, std::string>{}));
    EXPECT_EQ(std::count(pagesOnly.out.begin(), pagesOnly.out.end(), '\n'), 4);
}

TEST_F(PublishRun, AnOutputFolderInsideTheSiteIsNeverCopiedIntoItself) {
    fs::create_directories(Site() / "pub");
    for (int round = 0; round < 2; ++round) {
        const ProcessResult result = Run({"-a", "-q"}, "site/pub");
        EXPECT_EQ(result.exitStatus, 0) << result.err;
    }
    const Tree tree = ReadTree(Site() / "pub");
    for (const auto& [path, bytes] : kCopied) EXPECT_EQ(tree.count(path), 1u) << path;
    for (const auto& [path, bytes] : tree) EXPECT_FALSE(path.starts_with("pub")) << path;
    // The same folder reached through a link is recognised by identity.
    fs::create_directory_symlink("pub", Site() / "alias");
    const ProcessResult third = Run({"-a"}, "site/alias");
    EXPECT_NE(third.out.find(StaticLine(4, 4, 0)), std::string::npos) << third.out;
    EXPECT_EQ(ReadTree(Site() / "pub"), tree);
}

// What must never be published stays out whichever way it is reached: through a link whose target is closed, as a
// fragment a directive named without expanding it, or under the output path of a page that failed.
TEST_F(PublishRun, PrivateFilesStayOutThroughLinksUnexpandedDirectivesAndFailedPages) {
    fs::create_symlink("WEB-INF", Site() / "pub");
    WriteFile(Site() / ".private" / "k.js", "secret");
    fs::create_symlink(".private", Site() / "js");
    WriteFile(Site() / ".env.css", "secret");
    fs::create_symlink(".env.css", Site() / "cfg.css");
    WriteFile(Site() / "data" / "shop.mdb", "secret");
    fs::create_symlink("../data/shop.mdb", Site() / "img" / "shop.png");
    // Six levels of includes: the sixth directive is past the nesting limit.
    WriteFile(Site() / "deep.jsp", "<%@ include file=\"frag/d1.htm\" %>");
    for (int level = 1; level <= 5; ++level) {
        WriteFile(Site() / "frag" / ("d" + std::to_string(level) + ".htm"),
                  "<%@ include file=\"d" + std::to_string(level + 1) + ".htm\" %>");
    }
    WriteFile(Site() / "frag" / "d6.htm", "<% secret %>");
    // 1,001 directives: the last is past the budget.
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "<%@ include file=\"frag/empty.htm\" %>";
    WriteFile(Site() / "many.jsp", many + "<%@ include file=\"frag/budget.htm\" %>");
    WriteFile(Site() / "frag" / "empty.htm", "");
    WriteFile(Site() / "frag" / "budget.htm", "<% secret %>");
    // A page that fails part-way (its output passes the file-size limit before its directive is met): the
    // directive still names a fragment.
    WriteFile(Site() / "broken.jsp", std::string(300 * 1024, 'x') + "\n<%@ include file=\"frag/late.htm\" %>");
    WriteFile(Site() / "frag" / "late.htm", "<% secret %>");
    WriteFile(Site() / "broken.html", "static twin of a page that fails");

    test_support::ProcessOptions limited;
    limited.fileSizeLimit = 64 * 1024;
    const ProcessResult result =
        m_work.Run({"-a", "-q", "--max-warnings", "0", "--report", "r.json", "site", "out"}, limited);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const Tree tree = ReadTree(Out());
    for (const char* path : {"pub", "js", "cfg.css", "img/shop.png", "frag/d6.htm", "frag/budget.htm",
                             "frag/late.htm", "broken.html"}) {
        EXPECT_EQ(tree.count(path), 0u) << path;
    }
    const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
    std::map<std::string, std::string> skipped;
    for (const auto& item : report["assets"]["skipped"]) skipped[item["path"]] = item["why"];
    EXPECT_EQ(skipped["site/pub/"], "a link to WEB-INF: folder WEB-INF is never published");
    EXPECT_EQ(skipped["site/js/"], "a link to .private: hidden folder");
    EXPECT_EQ(skipped["site/cfg.css"], "a link to .env.css: hidden file");
    EXPECT_EQ(skipped["site/img/shop.png"], "a link to data/shop.mdb: not a static file");
    for (const char* fragment : {"site/frag/d6.htm", "site/frag/budget.htm", "site/frag/late.htm"}) {
        EXPECT_EQ(skipped[fragment], "a page of this run includes it") << fragment;
    }
    EXPECT_EQ(skipped["site/broken.html"], "the page with this output path failed");
}

// A site inside the output folder: a static file's output path may be a file of the site, which is never written.
TEST_F(PublishRun, AStaticFileIsNeverCopiedOntoAFileOfTheSite) {
    fs::create_directories(Out());
    fs::rename(Site(), Out() / "site");
    WriteFile(Out() / "site" / "site" / "x.css", "inner copy");
    WriteFile(Out() / "site" / "x.css", "the site's own");
    const ProcessResult result = m_work.Run({"-a", "--report", "r.json", "out/site", "out"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(ReadFile(Out() / "site" / "x.css"), "the site's own");
    const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
    bool found = false;
    for (const auto& item : report["assets"]["skipped"]) {
        found |= item["path"] == "out/site/site/x.css" && item["why"] == "its output path is a file of the site";
    }
    EXPECT_TRUE(found) << report["assets"]["skipped"].dump(1);
}

// A page repeating one broken reference holds one entry with its count; past the bound the rest are counted.
TEST_F(PublishRun, RepeatedBrokenLinksAreMergedAndTheListIsBounded) {
    std::string page;
    for (int i = 0; i < 5000; ++i) page += "<img src=\"gone.png\"><a href=\"./gone.png\">x</a>\n";
    WriteFile(Site() / "repeat.jsp", page);
    fs::create_directories(Out());
    const ProcessResult result = Run({"-q", "--report", "r.json"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
    nlohmann::json repeated;
    for (const auto& link : report["brokenLinks"]) {
        if (link["page"] == "out/repeat.html") repeated.push_back(link);
    }
    EXPECT_EQ(repeated, nlohmann::json::array({{{"page", "out/repeat.html"},
                                                {"line", 1},
                                                {"link", "gone.png"},
                                                {"target", "out/gone.png"},
                                                {"count", 10000},
                                                {"cause", "missing"}}}));
    EXPECT_EQ(report["brokenLinksTotal"], report["brokenLinks"].size());
    EXPECT_EQ(report["truncated"], false);
}

TEST_F(PublishRun, WithoutTheOptionOnlyPagesAreWrittenAndTheLogIsUnchanged) {
    fs::create_directories(Out());
    const ProcessResult result = Run({});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kPagesLog + Summary(4, ""));
    Tree pagesOnly;
    for (const char* path : {"about.html", "index.html", "my page.html", "news/list.html"}) {
        pagesOnly[path] = ReadFile(Out() / path);
    }
    pagesOnly["news"] = "<folder>";
    EXPECT_EQ(ReadTree(Out()), pagesOnly);

    // The report on stdout stands alone there: the log lines are left out.
    const ProcessResult json = Run({"--report", "-"});
    EXPECT_EQ(json.exitStatus, 0);
    const nlohmann::json report = nlohmann::json::parse(json.out);
    EXPECT_EQ(report["pages"].size(), 4u);
    EXPECT_EQ(report["assets"]["copied"].size(), 0u);

    // A report that would replace a page of the site is refused before anything is written.
    const std::string page = ReadFile(Site() / "index.jsp");
    const ProcessResult onPage = Run({"--report", "site/index.jsp"});
    EXPECT_EQ(onPage.exitStatus, 2);
    EXPECT_EQ(ReadFile(Site() / "index.jsp"), page);
    const ProcessResult htmlOnPage = Run({"--report-html", "site/index.jsp"});
    EXPECT_EQ(htmlOnPage.exitStatus, 2);
    EXPECT_EQ(ReadFile(Site() / "index.jsp"), page);
}

}  // namespace
}  // namespace quernfold
