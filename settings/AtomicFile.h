#pragma once

#include <string>
#include <string_view>

namespace quernfold {

enum class ReadStatus { Ok, Missing, Failed };

/** Reads a whole file; Missing when it does not exist, Failed (with the system's reason) for any other error. */
ReadStatus ReadFileContents(const std::string& path, std::string& bytes, std::string& error);

/**
 * Replaces the file's contents with bytes so that a crash or a full disk leaves either the old file or the new
 * one, never a part: the bytes go to a temporary file beside it, which is synced and then renamed over it. A
 * symbolic link is followed, so the link stays a link. On failure the old file is untouched and no temporary
 * file is left; error holds the step and the system's reason.
 */
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace quernfold
