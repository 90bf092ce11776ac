#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/site/AssetRules.h"
#include "engine/text/CodePage.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

class LogSink;
class LinkCheck;
class OutputTree;
struct AssetRecords;

/** What the static files step of a run works with. */
struct StaticFilesJob {
    std::string siteRoot;    // ends in the separator
    std::string outputRoot;  // ends in the separator
    SiteFiles* site = nullptr;     // the run's site: the walk and every open go through it
    OutputTree* output = nullptr;  // where the copies go: the run's output tree
    AssetRules rules;
    CodePageChoice codePage = CodePageChoice::Auto;  // for reading the references of copied .htm/.html files
    std::function<bool(const FileId&)> isReadByRun;  // pages and includes: never copied, never written over
    std::function<bool(const std::string&)> isPageOutput;  // whether a page took this output path
    std::function<bool()> stopRequested;                          // checked between files
};

struct StaticFilesCounts {
    std::int64_t copied = 0;
    std::int64_t unchanged = 0;
    std::int64_t failed = 0;
    std::int64_t Total() const { return copied + unchanged + failed; }
};

/**
 * Copies the static files of the site into the output tree, after the pages: each under the same path below
 * the output folder. A failed copy writes one log line and the step goes on; a file whose output path a page
 * took is skipped (the page wins). records and links, when given, receive the facts and the references of
 * copied .htm/.html files.
 */
StaticFilesCounts CopyStaticFiles(const StaticFilesJob& job, LogSink& log, AssetRecords* records, LinkCheck* links);

}  // namespace quernfold
