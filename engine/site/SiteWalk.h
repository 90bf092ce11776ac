#pragma once

#include <functional>
#include <string>

#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * What one use of the walk keeps and where it goes: the page walk keeps source pages and enters every folder;
 * the static-file walk keeps what the publish rules allow and stays out of closed folders.
 */
struct WalkRules {
    /** A regular file met by the walk; path begins with the root's text, relative is '/'-separated below it. */
    std::function<void(const std::string& path, const std::string& relative, const FolderEntry& entry)> file;
    /** Whether to walk the sub-folder at path (ending in the separator); null: every folder is walked. */
    std::function<bool(const std::string& path, const std::string& relative, const FolderEntry& entry)> enter;
    /** A folder that cannot be listed, with the reason; null: the walk ends there with WalkError. */
    std::function<void(const std::string& folder, const std::string& reason)> unreadable;
};

/**
 * Walks root and every folder below it through files: a folder's entries in listing order, its files first-come
 * as met, each sub-folder's whole tree in turn (without recursion, so a deep tree cannot exhaust the stack).
 * Links are followed, but each folder is walked once (a link back to an ancestor cannot loop), its identity
 * taken from the folder itself; what lies outside the site root never appears, and FIFOs, sockets, devices and
 * broken links are left out. A missing root, or one that is not a folder, is unreadable.
 */
void WalkSite(SiteFiles& files, const std::string& root, const WalkRules& rules);

/** Orders a folder's entries: by name with ASCII letters upper-cased, ties by raw bytes. */
bool ListingOrder(std::string_view a, std::string_view b);

}  // namespace quernfold
