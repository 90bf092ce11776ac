#include "engine/StaticFiles.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "engine/AssetCopier.h"
#include "engine/AssetWalker.h"
#include "engine/AsciiText.h"
#include "engine/CodePageDetector.h"
#include "engine/Errors.h"
#include "engine/LinkCheck.h"
#include "engine/LogLines.h"
#include "engine/OutputMapping.h"
#include "engine/RunReport.h"
#include "engine/Sinks.h"

namespace quernfold {

namespace {

constexpr std::uint64_t kLinkScanLimit = 64 * 1024 * 1024;  // larger static pages are copied, not read for links

std::optional<FileId> IdOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(info.st_dev), info.st_ino};
}

bool IsStaticPage(std::string_view relative) {
    const std::size_t dot = relative.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = relative.substr(dot + 1);
    return EqualsIgnoringAsciiCase(extension, "htm") || EqualsIgnoringAsciiCase(extension, "html");
}

// The folders below the output root that hold relative, top down.
std::vector<std::string> FoldersOf(const std::string& outputRoot, const std::string& relative) {
    std::vector<std::string> folders;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        folders.push_back(outputRoot + relative.substr(0, slash));
    }
    return folders;
}

void ScanLinks(const AssetFile& file, const std::string& target, CodePageChoice choice, LinkCheck& links) {
    struct stat info {};
    if (::stat(file.path.c_str(), &info) != 0 || static_cast<std::uint64_t>(info.st_size) > kLinkScanLimit) return;
    std::ifstream in(target, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) return;
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
    AssetListing listing = CollectAssets(job.siteRoot, job.rules, outputId);

    auto fail = [&](const std::string& path, const std::string& reason) {
        ++counts.failed;
        log.AppendLog(StaticFileFailedLine(path, reason));
        if (records) records->failed.push_back({path, reason});
    };
    for (const PathReason& folder : listing.unreadable) fail(folder.path, folder.reason);
    if (records) records->skipped = std::move(listing.skipped);

    std::unordered_set<std::string> madeFolders;
    for (const AssetFile& file : listing.files) {
        if (job.stopRequested && job.stopRequested()) break;
        const std::string target = job.outputRoot + file.relative;
        if (job.isReadByRun && job.isReadByRun(file.id)) {
            if (records) records->skipped.push_back({file.path, "a page of this run includes it"});
            continue;
        }
        if (job.pageOutputs && job.pageOutputs->count(target) > 0) {
            if (records) records->skipped.push_back({file.path, "a converted page has the same output path"});
            continue;
        }
        try {
            // Files come folder by folder: a folder made (or found) once needs no second look.
            const std::size_t slash = file.relative.rfind('/');
            if (slash != std::string::npos && madeFolders.count(file.relative.substr(0, slash)) == 0) {
                MakeOutputFolders(FoldersOf(job.outputRoot, file.relative));
                madeFolders.insert(file.relative.substr(0, slash));
            }
            const CopyOutcome outcome = CopyStaticFile(file.path, target, job.isReadByRun);
            if (outcome == CopyOutcome::Copied) {
                ++counts.copied;
                if (records) records->copied.push_back(file.path);
            } else {
                ++counts.unchanged;
                if (records) records->unchanged.push_back(file.path);
            }
        } catch (const std::exception& failure) {
            fail(file.path, failure.what());
            continue;
        }
        if (links && IsStaticPage(file.relative)) ScanLinks(file, target, job.codePage, *links);
    }
    return counts;
}

}  // namespace quernfold
