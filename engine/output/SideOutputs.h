#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/output/PageOutputs.h"
#include "engine/output/PathRules.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/** What a run knows of its files before the first page: what a side output (--log, --report) must never replace. */
struct RunFilesBeforeStart {
    const PageOutputs& outputs;
    std::function<bool(const FileId&)> isFileOfSite;  // every file the walk listed (pages among them)
    const std::unordered_set<FileId, FileIdHash>& pageIds;
    const std::unordered_set<FileId, FileIdHash>& includeIds;  // filled only when NeedsIncludes said so
    std::string outputRoot;
    // Whether the run copies a static file to this path ('/'-separated) below the output root.
    std::function<bool(const std::string& relative)> isStaticOutput;
};

/**
 * Whether target names a descriptor the program already has open (/dev/stdout, /dev/stderr, /dev/fd/N,
 * /proc/self/fd/N): it is written through that descriptor, never replaced, so it takes no file of the run.
 */
bool NamesOpenDescriptor(const std::string& target);

/** Identity of the regular file a side output at target would replace (links followed: the file they lead to). */
std::optional<FileId> SideOutputId(const std::string& target);

/** Whether the includes must be known to judge target: a file stands there, and it lies inside the site root. */
bool NeedsIncludes(const std::string& target, const std::string& siteRoot);

/** Why writing target would replace a file of the site or of the run; nullopt when it would not. */
std::optional<std::string> WhySideOutputIsTaken(const std::string& target, const RunFilesBeforeStart& files);

/** Why target and other, two side outputs of one run, cannot both be written (they are one file); or nullopt. */
std::optional<std::string> WhySideOutputsClash(const std::string& target, const std::string& other);

}  // namespace quernfold
