// quernfold-cli on a planted ASP site with the two publishing options: server code dropped, links in another
// letter case rewritten. Without the options the output tree, the log and the broken links are those of the
// design's rules; with them the code is gone and the links lead to the converted pages.

#include <map>
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

class PublishOptions : public testing::Test {
protected:
    void SetUp() override {
        const fs::path site = m_work.Site();
        WriteFile(site / "Default.asp",
                  "<!--#include file=\"inc/Conn.asp\"-->\r\n"
                  "<a href=\"CheckCode.Asp\">c</a> <a href=\"NEWS/List.ASP?id=3\">n</a> <a href=\"x.Aspx\">x</a>\r\n"
                  "<% Response.Write Now() %><p>end</p>\r\n");
        WriteFile(site / "CheckCode.asp", "<p>code</p>\r\n");
        WriteFile(site / "NEWS" / "List.asp", "<a href=\"../default.ASP\">home</a>\r\n");
        WriteFile(site / "inc" / "Conn.asp",
                  "<%\r\nSet conn = Server.CreateObject(\"ADODB.Connection\")\r\n"
                  "conn.Open \"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\" & Server.MapPath(\"db/shop.mdb\")\r\n%>\r\n");
    }

    ProcessResult Run(std::vector<std::string> args) const {
        args.insert(args.end(), {"-t", "asp", "-T", "htm", "-q", "--report", "r.json", "site", "out"});
        return m_work.Run(args);
    }
    // "page line kind count" for each entry of a list of what is left: serverCode or exposures.
    std::vector<std::string> Leftovers(const char* list) const {
        std::vector<std::string> entries;
        const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
        for (const auto& item : report[list]) {
            entries.push_back(item["page"].get<std::string>() + " " + std::to_string(item["line"].get<int>()) + " " +
                              item["kind"].get<std::string>() + " " + std::to_string(item["count"].get<int>()));
        }
        return entries;
    }
    std::vector<std::string> BrokenLinks() const {
        std::vector<std::string> links;
        const nlohmann::json report = nlohmann::json::parse(ReadFile(m_work.Dir() / "r.json"));
        for (const auto& link : report["brokenLinks"]) {
            links.push_back(link["page"].get<std::string>() + " " + link["link"].get<std::string>() + " " +
                            link["cause"].get<std::string>());
        }
        return links;
    }

    test_support::Workspace m_work;
};

// inc/Conn.asp as the design writes it back: an empty line where the block begins, then the block on one line
// with its inner line breaks.
const std::string kConn =
    "\r\n<%\r\nSet conn = Server.CreateObject(\"ADODB.Connection\")\r\nconn.Open \"Provider=Microsoft.Jet.OLEDB.4.0;"
    "Data Source=\" & Server.MapPath(\"db/shop.mdb\")%>\r\n";

TEST_F(PublishOptions, WithoutTheOptionsCodeStaysAndOtherLetterCasesLeadNowhere) {
    const ProcessResult run = Run({});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const Tree expected = {
        {"CheckCode.htm", "<p>code</p>\r\n"},
        {"Default.htm", "\r\n" + kConn +
                            "<a href=\"CheckCode.Asp\">c</a> <a href=\"NEWS/List.ASP?id=3\">n</a> "
                            "<a href=\"x.Aspx\">x</a>\r\n\r\n<% Response.Write Now() %>\r\n<p>end</p>\r\n"},
        {"NEWS", "<folder>"},
        {"NEWS/List.htm", "<a href=\"../default.ASP\">home</a>\r\n"},
        {"inc", "<folder>"},
        {"inc/Conn.htm", kConn},
    };
    EXPECT_EQ(ReadTree(m_work.Out()), expected);
    // The report tells the links that --links-any-case would mend from the faults of the site itself.
    EXPECT_EQ(BrokenLinks(), (std::vector<std::string>{"out/Default.htm CheckCode.Asp sourceExtension",
                                                       "out/Default.htm NEWS/List.ASP?id=3 sourceExtension",
                                                       "out/Default.htm x.Aspx missing",
                                                       "out/NEWS/List.htm ../default.ASP sourceExtension"}));
    // The run's last stderr line, after its final message, counts the broken links by cause.
    // The code written back is found in the pages, and so is the connection it opens.
    EXPECT_EQ(Leftovers("serverCode"), (std::vector<std::string>{"out/Default.htm 3 <% 2", "out/inc/Conn.htm 2 <% 1"}));
    EXPECT_EQ(Leftovers("exposures"),
              (std::vector<std::string>{"out/Default.htm 5 Provider= 1", "out/Default.htm 5 Data Source= 1",
                                        "out/Default.htm 5 Server.MapPath 1", "out/Default.htm 5 .mdb 1",
                                        "out/inc/Conn.htm 4 Provider= 1", "out/inc/Conn.htm 4 Data Source= 1",
                                        "out/inc/Conn.htm 4 Server.MapPath 1", "out/inc/Conn.htm 4 .mdb 1"}));
    // The run's last stderr lines, after its final message: the broken links by cause, then what is left.
    EXPECT_TRUE(run.err.ends_with(
        "!\n"
        "quernfold-cli: 4 broken links: 1 missing, 3 sourceExtension (see the report)\n"
        "quernfold-cli: 2 published pages hold server code, 2 expose connection details (see the report)\n"))
        << run.err;
}

TEST_F(PublishOptions, WithBothOptionsNoCodeIsPublishedAndTheLinksLeadToThePages) {
    const ProcessResult run = Run({"--drop-server-code", "--links-any-case"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const Tree expected = {
        {"CheckCode.htm", "<p>code</p>\r\n"},
        {"Default.htm", "\r\n\r\n<a href=\"CheckCode.htm\">c</a> <a href=\"NEWS/List.htm?id=3\">n</a> "
                        "<a href=\"x.Aspx\">x</a>\r\n\r\n<p>end</p>\r\n"},
        {"NEWS", "<folder>"},
        {"NEWS/List.htm", "<a href=\"../default.htm\">home</a>\r\n"},
        {"inc", "<folder>"},
        {"inc/Conn.htm", "\r\n"},
    };
    EXPECT_EQ(ReadTree(m_work.Out()), expected);
    // What is left is a real fault of the site: a page that does not exist, and a name in another letter case.
    EXPECT_EQ(BrokenLinks(), (std::vector<std::string>{"out/Default.htm x.Aspx missing",
                                                       "out/NEWS/List.htm ../default.htm letterCase"}));
    // The run's last stderr line, after its final message, counts the broken links by cause.
    EXPECT_TRUE(run.err.ends_with("!\n"
                                 "quernfold-cli: 2 broken links: 1 missing, 1 letterCase (see the report)\n"))
        << run.err;
    EXPECT_EQ(Leftovers("serverCode"), std::vector<std::string>{});
    EXPECT_EQ(Leftovers("exposures"), std::vector<std::string>{});
}

}  // namespace
}  // namespace quernfold
