#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * Where the record of the last run into an output folder is kept: a file in the user's cache folder
 * ($XDG_CACHE_HOME/quernfold/runs, else ~/.cache/quernfold/runs) named after the output folder's identity, so
 * it never lies in the output tree and a second spelling of the folder finds the same record. nullopt when the
 * output folder does not exist (nothing was published there yet).
 */
std::optional<std::string> RunRecordPath(const std::string& outputRoot);

/**
 * The record at recordPath, to be read piece by piece: each call fills up to size bytes at into and says how many
 * (0 at the end, -1 when the rest cannot be read). Empty when there is none or it is not a plain file.
 */
std::function<std::ptrdiff_t(char* into, std::size_t size)> OpenRunRecord(const std::string& recordPath);

/** Makes the folder that holds recordPath, with its parents; false when it cannot be made. */
bool MakeRunRecordFolder(const std::string& recordPath);

/**
 * What stands at path now, links followed or not (then a link is stamped as itself); nullopt when nothing does or
 * it cannot be looked at.
 */
std::optional<FileStamp> StampAt(const std::string& path, bool followLinks = true);

}  // namespace quernfold
