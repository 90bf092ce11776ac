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

/** The references of one file to one missing target: the first of them, and how many there are. */
struct BrokenLink {
    std::string page;    // the output page (or copied file) that holds the link
    std::int64_t line = 0;  // 1-based line of that file, of the first reference
    std::string link;    // as written, in UTF-8
    std::string target;  // the path it was resolved to
    std::int64_t count = 1;  // references of the file to target
    std::string cause = {};   // why it leads nowhere: missing, notCopied, letterCase, ... (LinkCauses)
    std::string detail = {};  // what the cause names: the file in another letter case, why a file was not copied, ...
};

/** References with a query string to one converted page: every value of its parameters now shows one page. */
struct DynamicLink {
    std::string target;      // the converted page
    std::int64_t queries = 0;  // distinct query strings met (each file's first thousand)
    std::int64_t count = 0;    // references
    std::string page;        // the first file that holds one, its line and the link as written
    std::int64_t line = 0;
    std::string link;
};

/** A bounded list: at most a set number of entries, and how many there were in all. */
template <typename Entry>
struct BoundedList {
    std::vector<Entry> entries;
    std::int64_t total = 0;
    bool truncated = false;
};

/** Server code or an exposed connection detail in a published file: one kind, its first line and how many. */
struct Leftover {
    std::string page;
    std::int64_t line = 0;
    std::string kind;        // "<%", "<c:", "${", ... or "Provider=", ".mdb", "password=", ...
    std::int64_t count = 0;  // blocks or tags; for an exposure, lines
    std::string text;        // the first line, UTF-8, cut short
};

enum class RunStop { None, Limit, User };

struct StaticFilesCounts {
    std::int64_t copied = 0;
    std::int64_t unchanged = 0;
    std::int64_t failed = 0;
    bool stopped = false;  // a stop request ended the copy before its last file
    std::int64_t Total() const { return copied + unchanged + failed; }
};

/** The counts of one run, from which the log's summary, the exit status and the report are all filled. */
struct RunCounts {
    std::int64_t pages = 0;  // pages that got their result (a page abandoned on a stop request is not one)
    std::int64_t failed = 0;
    std::int64_t warnings = 0;
    std::optional<StaticFilesCounts> staticFiles;  // when static files were copied
    RunStop stopped = RunStop::None;
    std::int64_t Converted() const { return pages - failed; }
    std::int64_t StaticFilesFailed() const { return staticFiles ? staticFiles->failed : 0; }
};

struct RunReport {
    std::string siteRoot;
    std::string sourceType;
    std::string outputType;
    std::string outputDir;
    std::string encoding;
    std::vector<PageRecord> pages;  // in discovery order
    AssetRecords assets;
    RunCounts counts;
    std::vector<BrokenLink> brokenLinks;
    std::int64_t brokenLinksTotal = 0;  // entries found; more than listed when the list was cut short
    bool brokenLinksTruncated = false;
    BoundedList<DynamicLink> dynamicLinks;
    BoundedList<BrokenLink> absoluteLocal;  // URLs to this machine; target holds the host, cause is empty
    BoundedList<Leftover> serverCode;  // per published page and kind
    BoundedList<Leftover> exposures;   // per published page or copied text file and kind
    std::int64_t pagesWithServerCode = 0;
    std::int64_t filesWithExposures = 0;
};

/**
 * Writes the report as JSON text (UTF-8; bytes that are not UTF-8 and control characters of paths as "\xNN") in
 * pieces to write, one list element at a time, so its text never stands whole in memory.
 */
void WriteReportJson(const RunReport& report, const std::function<void(std::string_view)>& write);
/** The same, whole, as one string. */
std::string ReportJson(const RunReport& report);

/**
 * Writes the report as one self-contained HTML page in Chinese (no outside scripts, fonts or styles): the totals,
 * pages with warnings or failures, broken links by cause and then by target, what is left of server code and
 * exposed connection details, other links to look at, and the static files skipped with why. Each count of the
 * totals stands in a cell with a data-count attribute naming it.
 */
void WriteReportHtml(const RunReport& report, const std::function<void(std::string_view)>& write);
std::string ReportHtml(const RunReport& report);

}  // namespace quernfold
