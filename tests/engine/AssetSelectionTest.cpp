#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "engine/site/AssetRules.h"
#include "engine/site/AssetWalker.h"
#include "engine/platform/Disk.h"
#include "tests/support/Files.h"
#include "tests/support/Sandbox.h"

namespace quernfold {
namespace {

namespace fs = std::filesystem;
using test_support::WriteFile;

// What the walk made of each planted file: "copy", "skip" or absent (ignored or never seen).
std::map<std::string, std::string> Verdicts(const AssetListing& listing, const std::string& root) {
    std::map<std::string, std::string> verdicts;
    for (const AssetFile& file : listing.files) verdicts[file.relative] = "copy";
    for (const PathReason& skipped : listing.skipped) verdicts[skipped.path.substr(root.size())] = "skip";
    return verdicts;
}

TEST(AssetSelection, AllowListAndNeverCopiedRulesOverAPlantedSite) {
    const test_support::Sandbox sandbox;
    const fs::path base = sandbox.Root();
    const fs::path site = base / "site";
    struct Row {
        const char* path;
        const char* verdict;  // "copy", "skip" or "" (not copied and not worth a line)
    };
    const Row rows[] = {
        {"index.jsp", ""},
        {"robots.txt", "copy"},
        {"news/robots.txt", ""},        // only at the site root
        {"readme.txt", ""},
        {"conn.asp.txt", ""},           // not on the list at all
        {"index.jsp.html", "skip"},     // a source page in disguise
        {"old/INDEX.JSP.HTM", "skip"},
        {"style/site.css", "copy"},
        {"img/LOGO.PNG", "copy"},       // extensions ignore case
        {"img/Photo.JpEg", "copy"},
        {"img/.hidden.png", "skip"},
        {"data/shop.mdb", ""},
        {"index.jsp.bak", ""},
        {"global.asa", ""},
        {"conf/x.properties", ""},
        {"WEB-INF/web.xml", ""},
        {"WEB-INF/help.html", ""},      // the folder is closed as a whole
        {"web-inf/lower.css", ""},
        {"META-INF/MANIFEST.MF", ""},
        {"CVS/Entries.htm", ""},
        {"_notes/x.gif", ""},
        {"_vti_cnf/y.js", ""},
        {".svn/text-base/a.css", ""},
        {"out/page.html", ""},          // the output folder lies in the site
        {"fonts/f.woff2", "copy"},
        {"noext", ""},
        {".css", ""},                   // hidden, and no name before the dot
    };
    for (const Row& row : rows) WriteFile(site / row.path, "x");
    // A link that leads out of the site root is neither walked nor copied; one inside it is.
    WriteFile(base / "secret" / "leak.css", "x");
    fs::create_directory_symlink(base / "secret", site / "outside");
    fs::create_symlink(site / "style" / "site.css", site / "alias.css");

    struct stat out {};
    ASSERT_EQ(::stat((site / "out").c_str(), &out), 0);
    const std::string root = site.string() + "/";
    const std::unique_ptr<SiteFiles> files = OpenSiteOnDisk(root);
    const AssetListing listing = CollectAssets(
        *files, root, DefaultAssetRules("jsp"), FileId{static_cast<std::uint64_t>(out.st_dev), out.st_ino});
    std::map<std::string, std::string> verdicts = Verdicts(listing, root);

    for (const Row& row : rows) {
        const auto found = verdicts.find(row.path);
        EXPECT_EQ(found == verdicts.end() ? std::string() : found->second, row.verdict) << row.path;
    }
    EXPECT_EQ(verdicts["alias.css"], "copy");
    EXPECT_EQ(verdicts.count("outside/leak.css"), 0u);
    // Closed folders are named once each; hidden ones are not worth a line.
    for (const char* closed : {"WEB-INF/", "web-inf/", "META-INF/", "CVS/", "_notes/", "_vti_cnf/"}) {
        EXPECT_EQ(verdicts[closed], "skip") << closed;
    }
    EXPECT_EQ(verdicts.count(".svn/"), 0u);
    EXPECT_TRUE(listing.unreadable.empty());
}

TEST(AssetSelection, AGivenListReplacesTheDefaultOne) {
    struct Row {
        const char* list;
        const char* path;
        bool copied;
    };
    const Row rows[] = {
        {"css", "a.css", true},        {"CSS, Js", "b.js", true},     {"css", "a.png", false},
        {"css", "robots.txt", false},  // robots.txt belongs to the default list only
        {"txt", "robots.txt", true},   {"txt", "conn.jsp.txt", false}, {"txt", "WEB-INF/a.txt", false},
    };
    for (const Row& row : rows) {
        std::string error;
        AssetRules rules = DefaultAssetRules("jsp");
        const auto types = ParseAssetTypes(row.list, error);
        ASSERT_TRUE(types) << row.list << ": " << error;
        rules.types = *types;
        rules.rootRobots = false;
        EXPECT_EQ(DecideAsset(row.path, rules).kind == AssetDecision::Kind::Copy, row.copied)
            << row.list << " / " << row.path;
    }
    for (const char* bad : {"", " , ", ".css", "a/b"}) {
        std::string error;
        EXPECT_FALSE(ParseAssetTypes(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace quernfold
