#pragma once

#include <optional>
#include <string>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * What stands at a path outside the site's own reads: the side outputs, the link check and the plan look at
 * paths the user named or the run will write, not at files of the site (those go through SiteFiles).
 */
struct PathInfo {
    EntryKind kind = EntryKind::Missing;
    bool isLink = false;  // only when links are not followed
    FileId id;
};

enum class Links { Follow, DoNotFollow };

/** What stands at path; nullopt when nothing does or it cannot be looked at. */
std::optional<PathInfo> LookAt(const std::string& path, Links links = Links::Follow);

/** path with every link resolved, as an absolute path; empty when it cannot be resolved. */
std::string RealPathOf(const std::string& path);

enum class ReadOutcome { Ok, Missing, Failed };

/**
 * Reads a whole file that is not part of the site (config.ini): Missing when it does not exist, Failed with
 * "cannot open|read PATH: " and the system's reason in error for any other failure.
 */
ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

/** Where this user's settings live: $XDG_CONFIG_HOME/quernfold, else ~/.config/quernfold (not created here). */
std::string UserSettingsFolder();

/** The processors online, at least 1. */
unsigned ProcessorsOnline();

}  // namespace quernfold
