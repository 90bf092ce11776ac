#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/site/AssetRules.h"
#include "engine/text/CodePage.h"
#include "engine/site/SiteFiles.h"
#include "engine/report/RunReport.h"

namespace quernfold {

class LogSink;
class LinkCheck;
class ProgressSink;
class OutputTree;
struct AssetRecords;

/** One copying thread's own view of the site and of the output tree (neither is shared between threads). */
struct StaticFilesPlace {
    std::unique_ptr<SiteFiles> site;
    std::unique_ptr<OutputTree> output;
};

/** What the static files step of a run works with. */
struct StaticFilesJob {
    std::string siteRoot;    // ends in the separator
    std::string outputRoot;  // ends in the separator
    SiteFiles* site = nullptr;     // the run's site: the walk and every open go through it
    OutputTree* output = nullptr;  // where the copies go: the run's output tree
    AssetRules rules;
    CodePageChoice codePage = CodePageChoice::Auto;  // for reading the references of copied .htm/.html files
    std::function<bool(const FileId&)> isReadByRun;  // pages and includes: never copied, never written over
    std::function<bool(const FileId&)> isFileOfSite;  // every file the walk listed: never written over
    std::vector<std::string> namedFragments;  // named by directives but not expanded: never copied either
    // Whether a page of the run has this output path: nullopt when none has, else whether that page converted.
    std::function<std::optional<bool>(const std::string&)> pageWithOutput;
    const std::atomic<bool>* stopRequested = nullptr;  // seen between files and within a large one
    ProgressSink* progress = nullptr;  // counts the files, as the pages were counted
    // Files copied at once: the caller's thread with site and output, and threads - 1 more, each with a place of
    // its own from openPlace. The functions above are then asked from any of them at once.
    unsigned threads = 1;
    std::function<StaticFilesPlace()> openPlace;
};

/**
 * Copies the static files of the site into the output tree, after the pages: each under the same path below
 * the output folder. The step opens with one log line and shows its progress as the pages did: range 0 to the
 * number of files + 1, the value after each file. A failed copy writes one log line and the step goes on; a file
 * whose output path a page of the run has (converted or failed) is skipped (the page wins), and so is one whose
 * output path is a file of the site or a file the run reads. A stop request ends the step within the current file.
 * records and links, when given, receive the facts and the references of copied .htm/.html files; links also
 * learns which files the step put in place. With more threads the files are copied in any order, but the log,
 * the progress, records and links learn of them in the walk's order, as one thread would tell them.
 */
StaticFilesCounts CopyStaticFiles(const StaticFilesJob& job, LogSink& log, AssetRecords* records, LinkCheck* links);

}  // namespace quernfold
