#include "engine/output/StaticFiles.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/text/AsciiText.h"
#include "engine/site/AssetWalker.h"
#include "engine/text/CodePageDetector.h"
#include "engine/text/Errors.h"
#include "engine/report/LinkCheck.h"
#include "engine/page/CssLinks.h"
#include "engine/page/Leftovers.h"
#include "engine/log/LogLines.h"
#include "engine/output/OutputTree.h"
#include "engine/output/PathRules.h"
#include "engine/platform/FileSystem.h"
#include "engine/report/RunReport.h"
#include "engine/log/Sinks.h"
#include "engine/run/StopRequest.h"

namespace quernfold {

namespace {

constexpr std::uint64_t kLinkScanLimit = 64 * 1024 * 1024;  // larger static pages are copied, not read for links

std::optional<FileId> IdOf(const std::string& path) {
    const std::optional<PathInfo> info = LookAt(path);
    if (!info) return std::nullopt;
    return info->id;
}

std::string_view ExtensionOf(std::string_view relative) {
    const std::size_t dot = relative.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : relative.substr(dot + 1);
}

bool IsStaticPage(std::string_view relative) {
    const std::string_view extension = ExtensionOf(relative);
    return EqualsIgnoringAsciiCase(extension, "htm") || EqualsIgnoringAsciiCase(extension, "html");
}

bool IsStyleSheet(std::string_view relative) { return EqualsIgnoringAsciiCase(ExtensionOf(relative), "css"); }

// Text a visitor can read as it stands: it may name a connection or a server path.
bool IsReadableText(std::string_view relative) {
    static constexpr std::string_view kTypes[] = {"htm", "html", "xhtml", "css", "js", "mjs", "svg", "txt"};
    const std::string_view extension = ExtensionOf(relative);
    for (const std::string_view type : kTypes) {
        if (EqualsIgnoringAsciiCase(extension, type)) return true;
    }
    return false;
}

// Where relative goes below the output root: the folders that hold it, top down, and its path.
// relative is '/'-separated, as the asset rules match it; the output paths take this system's separator.
OutputPathPlan PlanOf(const std::string& outputRoot, const std::string& relative) {
    OutputPathPlan plan;
    std::string native = relative;
    std::replace(native.begin(), native.end(), '/', kNativeSeparator);
    for (std::size_t slash = native.find(kNativeSeparator); slash != std::string::npos;
         slash = native.find(kNativeSeparator, slash + 1)) {
        plan.folders.push_back(outputRoot + native.substr(0, slash));
    }
    plan.outputPath = outputRoot + native;
    return plan;
}

// The references of a copied .htm/.html or .css file and the exposures of any readable text, read from the
// source just copied (the same bytes); nullopt when it is not read for them (too large, UTF-16).
std::optional<std::vector<PageLink>> LinksOf(SourceFile& source, CodePageChoice choice, std::string_view relative) {
    const std::optional<std::uint64_t> size = source.Size();
    if (!size || *size > kLinkScanLimit) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(*size), '\0');
    std::size_t got = 0;
    source.Rewind();
    while (got < bytes.size()) {
        const std::size_t n = source.Read(bytes.data() + got, bytes.size() - got);
        if (n == 0) break;
        got += n;
    }
    bytes.resize(got);
    CodePageDetector detector(choice);
    detector.Feed(bytes);
    const DetectedCodePage detected = detector.Finish();
    if (detected.utf16) return std::nullopt;
    std::vector<PageLink> found;
    const std::string_view text = std::string_view(bytes).substr(detected.bomLength);
    if (IsStyleSheet(relative)) {
        CollectCssLinks(detected.codePage, text, found);
    } else if (IsStaticPage(relative)) {
        CollectLinks(detected.codePage, text, found);
    }
    PageLinkList exposures(found);
    FindLeftovers(detected.codePage, text, 1, false, exposures);
    return found;
}

// The identities of the fragments named without being expanded, looked up beneath the site root.
std::unordered_set<FileId, FileIdHash> FragmentIds(SiteFiles& site, const std::vector<std::string>& paths) {
    std::unordered_set<FileId, FileIdHash> ids;
    for (const std::string& path : paths) {
        if (const std::optional<FileId> id = site.IdOf(path)) ids.insert(*id);
    }
    return ids;
}

// What became of one file, told in the walk's order once it is known.
struct CopyResult {
    enum class Kind { Copied, Unchanged, Failed, Skipped, Stopped } kind = Kind::Stopped;
    std::string outputPath;
    std::string text;  // Failed: the reason
    const char* skipped = nullptr;
    std::optional<std::vector<PageLink>> links;
};

// Copies one file with the site and output tree of the thread it runs on; never throws.
CopyResult CopyOne(const StaticFilesJob& job, const CopyRules& rules,
                   const std::function<bool(const FileId&)>& isPrivate, SiteFiles& site, OutputTree& output,
                   const AssetFile& file, bool noteLinks) {
    CopyResult result;
    const OutputPathPlan plan = PlanOf(job.outputRoot, file.relative);
    result.outputPath = plan.outputPath;
    if (const std::optional<bool> converted = job.pageWithOutput ? job.pageWithOutput(plan.outputPath)
                                                                 : std::nullopt) {
        result.kind = CopyResult::Kind::Skipped;
        result.skipped = *converted ? "a converted page has the same output path"
                                    : "the page with this output path failed";
        return result;
    }
    try {
        // Opened beneath the site root, as pages are: a folder swapped for a link since the walk cannot lead the
        // copy out of the site.
        const std::unique_ptr<SourceFile> source = site.OpenPage(file.path);
        if (isPrivate(source->Id())) {
            result.kind = CopyResult::Kind::Skipped;
            result.skipped = "a page of this run includes it";
            return result;
        }
        switch (output.Copy(plan, *source, rules)) {
            case CopyOutcome::Copied: result.kind = CopyResult::Kind::Copied; break;
            case CopyOutcome::Unchanged: result.kind = CopyResult::Kind::Unchanged; break;
            case CopyOutcome::NotReplaced:
                result.kind = CopyResult::Kind::Skipped;
                result.skipped = "its output path is a file of the site";
                return result;
        }
        if (noteLinks && IsReadableText(file.relative)) result.links = LinksOf(*source, job.codePage, file.relative);
    } catch (const RunStopped&) {
        result.kind = CopyResult::Kind::Stopped;
    } catch (const std::exception& failure) {
        result.kind = CopyResult::Kind::Failed;
        result.text = failure.what();
    }
    return result;
}

// Copies files[begin, end) into results (from begin), on this thread and the extra ones, each taking the next
// file not taken yet.
void CopyBatch(const StaticFilesJob& job, const std::function<CopyResult(std::size_t, SiteFiles&, OutputTree&)>& copy,
               std::vector<StaticFilesPlace>& places, std::size_t begin, std::size_t end,
               std::vector<CopyResult>& results) {
    std::atomic<std::size_t> next{begin};
    const auto work = [&](SiteFiles& site, OutputTree& output) {
        for (std::size_t i = next++; i < end; i = next++) {
            CopyResult& result = results[i - begin];
            result = CopyResult();  // stopped, unless copied below
            if (job.stopRequested && job.stopRequested->load()) continue;
            try {
                result = copy(i, site, output);
            } catch (const std::exception& failure) {
                result.kind = CopyResult::Kind::Failed;
                result.text = failure.what();
            }
        }
    };
    std::vector<std::thread> threads;
    for (StaticFilesPlace& place : places) threads.emplace_back(work, std::ref(*place.site), std::ref(*place.output));
    work(*job.site, *job.output);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace

StaticFilesCounts CopyStaticFiles(const StaticFilesJob& job, LogSink& log, AssetRecords* records, LinkCheck* links) {
    StaticFilesCounts counts;
    // Written before the walk, which may take a while on a big site: the window and the terminal are not silent.
    log.AppendLog(StaticFilesStartLine());
    const std::optional<FileId> outputId = IdOf(job.outputRoot);
    // An output folder that is the site root itself holds every file of the site: nothing is copied onto itself.
    if (outputId && outputId == IdOf(job.siteRoot)) return counts;
    AssetListing listing = CollectAssets(*job.site, job.siteRoot, job.rules, outputId);
    const std::unordered_set<FileId, FileIdHash> fragments = FragmentIds(*job.site, job.namedFragments);
    const std::function<bool(const FileId&)> isPrivate = [&](const FileId& id) {
        return fragments.count(id) > 0 || (job.isReadByRun && job.isReadByRun(id));
    };
    CopyRules rules;
    rules.mayNotReplace = [&](const FileId& id) { return isPrivate(id) || (job.isFileOfSite && job.isFileOfSite(id)); };
    rules.stopRequested = job.stopRequested;
    if (job.progress) {
        job.progress->SetRange(0, static_cast<long long>(listing.files.size()) + 1);
        job.progress->SetValue(0);
    }

    auto fail = [&](const std::string& path, const std::string& reason) {
        ++counts.failed;
        log.AppendLog(StaticFileFailedLine(path, reason));
        if (records) records->failed.push_back({path, reason});
    };
    for (const PathReason& folder : listing.unreadable) fail(folder.path, folder.reason);
    if (records) records->skipped = std::move(listing.skipped);

    // The files are copied in batches, on every thread at once; each batch is then told in order.
    std::vector<StaticFilesPlace> places;
    for (unsigned n = 1; n < job.threads && job.openPlace && listing.files.size() > 1; ++n) {
        try {
            places.push_back(job.openPlace());
        } catch (const std::exception&) {
            break;  // fewer threads copy
        }
    }
    const std::size_t batch = places.empty() ? 1 : 64 * (places.size() + 1);
    const auto copy = [&](std::size_t i, SiteFiles& site, OutputTree& output) {
        return CopyOne(job, rules, isPrivate, site, output, listing.files[i], links != nullptr);
    };
    std::vector<CopyResult> results(std::min(batch, listing.files.size()));
    long long done = 0;
    for (std::size_t begin = 0; begin < listing.files.size() && !counts.stopped; begin += batch) {
        const std::size_t end = std::min(begin + batch, listing.files.size());
        CopyBatch(job, copy, places, begin, end, results);
        // Every file of the batch that was copied is told, also those after the one a stop ended.
        for (std::size_t i = begin; i < end; ++i) {
            CopyResult& result = results[i - begin];
            const std::string& path = listing.files[i].path;
            switch (result.kind) {
                case CopyResult::Kind::Stopped: counts.stopped = true; continue;
                case CopyResult::Kind::Failed: fail(path, result.text); break;
                case CopyResult::Kind::Skipped:
                    if (records) records->skipped.push_back({path, result.skipped});
                    break;
                case CopyResult::Kind::Copied:
                    ++counts.copied;
                    if (records) records->copied.push_back(path);
                    if (links) links->Appeared(result.outputPath);
                    break;
                case CopyResult::Kind::Unchanged:
                    ++counts.unchanged;
                    if (records) records->unchanged.push_back(path);
                    break;
            }
            if (links && result.links) links->Add(result.outputPath, *result.links);
            if (job.progress && !counts.stopped) job.progress->SetValue(++done);
        }
    }
    return counts;
}

}  // namespace quernfold
