#include "engine/output/StaticFiles.h"

#include <algorithm>
#include <vector>

#include "engine/text/AsciiText.h"
#include "engine/site/AssetWalker.h"
#include "engine/text/CodePageDetector.h"
#include "engine/text/Errors.h"
#include "engine/report/LinkCheck.h"
#include "engine/log/LogLines.h"
#include "engine/output/OutputTree.h"
#include "engine/output/PathRules.h"
#include "engine/platform/FileSystem.h"
#include "engine/report/RunReport.h"
#include "engine/log/Sinks.h"

namespace quernfold {

namespace {

constexpr std::uint64_t kLinkScanLimit = 64 * 1024 * 1024;  // larger static pages are copied, not read for links

std::optional<FileId> IdOf(const std::string& path) {
    const std::optional<PathInfo> info = LookAt(path);
    if (!info) return std::nullopt;
    return info->id;
}

bool IsStaticPage(std::string_view relative) {
    const std::size_t dot = relative.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = relative.substr(dot + 1);
    return EqualsIgnoringAsciiCase(extension, "htm") || EqualsIgnoringAsciiCase(extension, "html");
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

// The references of a copied .htm/.html file, read from the source just copied (the same bytes).
void ScanLinks(SourceFile& source, const std::string& target, CodePageChoice choice, LinkCheck& links) {
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
    CollectLinks(detected.codePage, std::string_view(bytes).substr(detected.bomLength), found);
    links.Add(target, found);
}

}  // namespace

StaticFilesCounts CopyStaticFiles(const StaticFilesJob& job, LogSink& log, AssetRecords* records, LinkCheck* links) {
    StaticFilesCounts counts;
    const std::optional<FileId> outputId = IdOf(job.outputRoot);
    // An output folder that is the site root itself holds every file of the site: nothing is copied onto itself.
    if (outputId && outputId == IdOf(job.siteRoot)) return counts;
    AssetListing listing = CollectAssets(*job.site, job.siteRoot, job.rules, outputId);

    auto fail = [&](const std::string& path, const std::string& reason) {
        ++counts.failed;
        log.AppendLog(StaticFileFailedLine(path, reason));
        if (records) records->failed.push_back({path, reason});
    };
    for (const PathReason& folder : listing.unreadable) fail(folder.path, folder.reason);
    if (records) records->skipped = std::move(listing.skipped);

    for (const AssetFile& file : listing.files) {
        if (job.stopRequested && job.stopRequested()) break;
        const OutputPathPlan plan = PlanOf(job.outputRoot, file.relative);
        if (job.isPageOutput && job.isPageOutput(plan.outputPath)) {
            if (records) records->skipped.push_back({file.path, "a converted page has the same output path"});
            continue;
        }
        try {
            // Opened beneath the site root, as pages are: a folder swapped for a link since the walk cannot lead
            // the copy out of the site.
            const std::unique_ptr<SourceFile> opened = job.site->OpenPage(file.path);
            SourceFile& source = *opened;
            if (job.isReadByRun && job.isReadByRun(source.Id())) {
                if (records) records->skipped.push_back({file.path, "a page of this run includes it"});
                continue;
            }
            if (job.output->Copy(plan, source, job.isReadByRun) == CopyOutcome::Copied) {
                ++counts.copied;
                if (records) records->copied.push_back(file.path);
            } else {
                ++counts.unchanged;
                if (records) records->unchanged.push_back(file.path);
            }
            if (links && IsStaticPage(file.relative)) ScanLinks(source, plan.outputPath, job.codePage, *links);
        } catch (const std::exception& failure) {
            fail(file.path, failure.what());
        }
    }
    return counts;
}

}  // namespace quernfold
