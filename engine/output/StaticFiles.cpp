#include "engine/output/StaticFiles.h"

#include <algorithm>
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
// source just copied (the same bytes).
void ScanLinks(SourceFile& source, const std::string& target, CodePageChoice choice, std::string_view relative,
               LinkCheck& links) {
    const std::optional<std::uint64_t> size = source.Size();
    if (!size || *size > kLinkScanLimit) return;
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
    if (detected.utf16) return;
    std::vector<PageLink> found;
    const std::string_view text = std::string_view(bytes).substr(detected.bomLength);
    if (IsStyleSheet(relative)) {
        CollectCssLinks(detected.codePage, text, found);
    } else if (IsStaticPage(relative)) {
        CollectLinks(detected.codePage, text, found);
    }
    PageLinkList exposures(found);
    FindLeftovers(detected.codePage, text, 1, false, exposures);
    links.Add(target, found);
}

// The identities of the fragments named without being expanded, looked up beneath the site root.
std::unordered_set<FileId, FileIdHash> FragmentIds(SiteFiles& site, const std::vector<std::string>& paths) {
    std::unordered_set<FileId, FileIdHash> ids;
    for (const std::string& path : paths) {
        if (const std::optional<FileId> id = site.IdOf(path)) ids.insert(*id);
    }
    return ids;
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
    auto isPrivate = [&](const FileId& id) {
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
    auto skip = [&](const std::string& path, const char* why) {
        if (records) records->skipped.push_back({path, why});
    };
    for (const PathReason& folder : listing.unreadable) fail(folder.path, folder.reason);
    if (records) records->skipped = std::move(listing.skipped);

    // One file: copied, unchanged, failed or skipped.
    const auto copyOne = [&](const AssetFile& file) {
        const OutputPathPlan plan = PlanOf(job.outputRoot, file.relative);
        if (const std::optional<bool> converted = job.pageWithOutput ? job.pageWithOutput(plan.outputPath)
                                                                     : std::nullopt) {
            skip(file.path, *converted ? "a converted page has the same output path"
                                       : "the page with this output path failed");
            return;
        }
        try {
            // Opened beneath the site root, as pages are: a folder swapped for a link since the walk cannot lead
            // the copy out of the site.
            const std::unique_ptr<SourceFile> opened = job.site->OpenPage(file.path);
            SourceFile& source = *opened;
            if (isPrivate(source.Id())) {
                skip(file.path, "a page of this run includes it");
                return;
            }
            switch (job.output->Copy(plan, source, rules)) {
                case CopyOutcome::Copied:
                    ++counts.copied;
                    if (records) records->copied.push_back(file.path);
                    if (links) links->Appeared(plan.outputPath);
                    break;
                case CopyOutcome::Unchanged:
                    ++counts.unchanged;
                    if (records) records->unchanged.push_back(file.path);
                    break;
                case CopyOutcome::NotReplaced:
                    skip(file.path, "its output path is a file of the site");
                    return;
            }
            if (links && IsReadableText(file.relative)) {
                ScanLinks(source, plan.outputPath, job.codePage, file.relative, *links);
            }
        } catch (const RunStopped&) {
            counts.stopped = true;
        } catch (const std::exception& failure) {
            fail(file.path, failure.what());
        }
    };
    long long done = 0;
    for (const AssetFile& file : listing.files) {
        if (job.stopRequested && job.stopRequested->load()) counts.stopped = true;
        if (counts.stopped) break;
        copyOne(file);
        if (counts.stopped) break;
        if (job.progress) job.progress->SetValue(++done);
    }
    return counts;
}

}  // namespace quernfold
