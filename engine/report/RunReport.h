#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quernfold {

// The facts of one run as data; the text log and the JSON report are two renderings of them.

struct PathReason {
    std::string path;
    std::string reason;
};

struct PageRecord {
    std::string source;
    std::string output;  // empty when the page failed before its output path was known
    bool converted = false;
    std::vector<PathReason> warnings;
    std::optional<std::string> failure;
};

struct AssetRecords {
    std::vector<std::string> copied;
    std::vector<std::string> unchanged;
    std::vector<PathReason> failed;
    std::vector<PathReason> skipped;  // reason = why it is not published
};

struct BrokenLink {
    std::string page;    // the output page (or copied file) that holds the link
    std::int64_t line = 0;  // 1-based line of that file
    std::string link;    // as written, in UTF-8
    std::string target;  // the path it was resolved to
};

enum class RunStop { None, Limit, User };

struct RunReport {
    std::string siteRoot;
    std::string sourceType;
    std::string outputType;
    std::string outputDir;
    std::string encoding;
    std::vector<PageRecord> pages;  // in discovery order
    AssetRecords assets;
    std::int64_t totalPages = 0;
    std::int64_t converted = 0;
    std::int64_t failed = 0;
    std::int64_t warnings = 0;
    RunStop stopped = RunStop::None;
    std::vector<BrokenLink> brokenLinks;
};

/**
 * Writes the report as JSON text (UTF-8; bytes that are not UTF-8 and control characters of paths as "\xNN") in
 * pieces to write, one list element at a time, so its text never stands whole in memory.
 */
void WriteReportJson(const RunReport& report, const std::function<void(std::string_view)>& write);
/** The same, whole, as one string. */
std::string ReportJson(const RunReport& report);

}  // namespace quernfold
