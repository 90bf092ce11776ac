#pragma once

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
 * Reads a whole record into bytes, sized once from the file's size (a record of many pages is never held twice
 * while it is read); false when it cannot be read.
 */
bool ReadRunRecord(const std::string& recordPath, std::string& bytes);

/** Makes the folder that holds recordPath, with its parents; false when it cannot be made. */
bool MakeRunRecordFolder(const std::string& recordPath);

/**
 * What stands at path now, links followed or not (then a link is stamped as itself); nullopt when nothing does or
 * it cannot be looked at.
 */
std::optional<FileStamp> StampAt(const std::string& path, bool followLinks = true);

}  // namespace quernfold
