#include "engine/report/RunReport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace quernfold {
namespace {

// The report is parsed back by an independent reader, so any text that breaks JSON shows as a parse error.
TEST(ReportJson, ParsesBackWithEveryFieldAndEscapedPaths) {
    RunReport report;
    report.siteRoot = "/srv/\xb2\xe2site/";  // GBK bytes in a folder name: not UTF-8
    report.sourceType = "jsp";
    report.outputType = "html";
    report.outputDir = "/tmp/o\"ut\\/";
    report.encoding = "gbk";
    PageRecord ok{"/srv/a.jsp", "/tmp/a.html", true, {{"/srv/inc/x.jsp", "No such file or directory"}}, std::nullopt};
    PageRecord bad{"/srv/b\n.jsp", "", false, {}, std::string("line too long")};
    report.pages = {ok, bad};
    report.assets.copied = {"/srv/img/图.png"};
    report.assets.unchanged = {"/srv/s.css"};
    report.assets.failed = {{"/srv/c.js", "Permission denied"}};
    report.assets.skipped = {{"/srv/WEB-INF/", "folder WEB-INF is never published"}};
    report.counts.pages = 2;
    report.counts.failed = 1;
    report.counts.warnings = 1;
    report.counts.stopped = RunStop::Limit;
    report.brokenLinks = {{"/tmp/a.html", 12, "img/x.gif?v=1", "/tmp/img/x.gif", 40, "letterCase", "/tmp/img/X.GIF"},
                          {"/tmp/a.html", 13, "y.gif", "/tmp/y.gif", 1, "missing", ""},
                          {"/tmp/b.html", 1, "z.gif", "/tmp/z.gif", 1, "missing", ""}};
    report.brokenLinksTotal = 3;
    report.brokenLinksTruncated = true;
    report.dynamicLinks = {{{"/tmp/list.html", 3, 7, "/tmp/a.html", 4, "list.html?id=1"}}, 2, true};
    report.absoluteLocal = {{{"/tmp/b.html", 2, "http://localhost:8080/x.asp", "localhost", 5}}, 1, false};
    report.serverCode = {{{"/tmp/a.html", 3, "<%", 2, "<% x %>"}}, 1, false};
    report.exposures = {{{"/tmp/b.html", 7, ".mdb", 1, "\xB2 db/shop.mdb"}}, 4, true};
    report.pagesWithServerCode = 1;
    report.filesWithExposures = 2;

    const nlohmann::json json = nlohmann::json::parse(ReportJson(report));
    EXPECT_EQ(json["choices"]["siteRoot"], "/srv/\\xB2\\xE2site/");
    EXPECT_EQ(json["choices"]["outputDir"], "/tmp/o\"ut\\/");
    EXPECT_EQ(json["choices"]["encoding"], "gbk");
    ASSERT_EQ(json["pages"].size(), 2u);
    EXPECT_EQ(json["pages"][0]["status"], "converted");
    EXPECT_TRUE(json["pages"][0]["failure"].is_null());
    EXPECT_EQ(json["pages"][0]["warnings"][0]["path"], "/srv/inc/x.jsp");
    EXPECT_EQ(json["pages"][0]["warnings"][0]["reason"], "No such file or directory");
    EXPECT_EQ(json["pages"][1]["source"], "/srv/b\\x0A.jsp");
    EXPECT_EQ(json["pages"][1]["status"], "failed");
    EXPECT_EQ(json["pages"][1]["failure"], "line too long");
    EXPECT_EQ(json["assets"]["copied"][0], "/srv/img/图.png");
    EXPECT_EQ(json["assets"]["unchanged"][0], "/srv/s.css");
    EXPECT_EQ(json["assets"]["failed"][0]["reason"], "Permission denied");
    EXPECT_EQ(json["assets"]["skipped"][0]["why"], "folder WEB-INF is never published");
    const nlohmann::json byCause{{"missing", 2},    {"notCopied", 0},  {"letterCase", 1}, {"sourceExtension", 0},
                                 {"pageFailed", 0}, {"serverCode", 0}, {"outside", 0}};
    EXPECT_EQ(json["totals"], (nlohmann::json{{"pages", 2},    {"converted", 1},           {"failed", 1},
                                              {"warnings", 1}, {"brokenLinks", byCause},  {"dynamicLinks", 2},
                                              {"absoluteLocal", 1}, {"pagesWithServerCode", 1},
                                              {"filesWithExposures", 2}}));
    EXPECT_EQ(json["serverCode"], nlohmann::json::array({{{"page", "/tmp/a.html"},
                                                          {"line", 3},
                                                          {"kind", "<%"},
                                                          {"count", 2},
                                                          {"text", "<% x %>"}}}));
    EXPECT_EQ(json["serverCodeTotal"], 1);
    EXPECT_EQ(json["exposuresTotal"], 4);
    EXPECT_EQ(json["exposuresTruncated"], true);
    EXPECT_EQ(json["exposures"][0]["kind"], ".mdb");
    EXPECT_EQ(json["exposures"][0]["text"], "\\xB2 db/shop.mdb");
    EXPECT_EQ(json["dynamicLinks"], nlohmann::json::array({{{"target", "/tmp/list.html"},
                                                            {"queries", 3},
                                                            {"count", 7},
                                                            {"page", "/tmp/a.html"},
                                                            {"line", 4},
                                                            {"link", "list.html?id=1"}}}));
    EXPECT_EQ(json["dynamicLinksTruncated"], true);
    EXPECT_EQ(json["absoluteLocal"], nlohmann::json::array({{{"page", "/tmp/b.html"},
                                                             {"line", 2},
                                                             {"link", "http://localhost:8080/x.asp"},
                                                             {"host", "localhost"},
                                                             {"count", 5}}}));
    EXPECT_EQ(json["absoluteLocalTruncated"], false);
    EXPECT_EQ(json["stopped"], "limit");
    EXPECT_EQ(json["brokenLinks"][0],
              (nlohmann::json{{"page", "/tmp/a.html"},
                              {"line", 12},
                              {"link", "img/x.gif?v=1"},
                              {"target", "/tmp/img/x.gif"},
                              {"count", 40},
                              {"cause", "letterCase"},
                              {"detail", "/tmp/img/X.GIF"}}));
    EXPECT_EQ(json["brokenLinksTotal"], 3);
    EXPECT_EQ(json["truncated"], true);
    // A cause without a detail has no detail field.
    EXPECT_FALSE(json["brokenLinks"][1].contains("detail"));

    // Empty lists are still JSON.
    const nlohmann::json empty = nlohmann::json::parse(ReportJson(RunReport{}));
    EXPECT_TRUE(empty["pages"].empty() && empty["assets"]["skipped"].empty() && empty["brokenLinks"].empty());

    const std::pair<RunStop, nlohmann::json> stops[] = {{RunStop::None, nullptr}, {RunStop::User, "user"}};
    for (const auto& [stop, expected] : stops) {
        report.counts.stopped = stop;
        EXPECT_EQ(nlohmann::json::parse(ReportJson(report))["stopped"], expected);
    }
}

}  // namespace
}  // namespace quernfold
