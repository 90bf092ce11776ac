#include "engine/site/SiteFiles.h"

#include <cerrno>

#include "engine/text/Errors.h"
#include "engine/text/AsciiText.h"

namespace quernfold {

std::optional<std::string> SiteFiles::FindIgnoringCase(const std::string& folder, std::string_view name) {
    std::optional<std::string> match;
    for (std::string& entry : ListNames(folder)) {
        if (!EqualsIgnoringAsciiCase(entry, name)) continue;
        if (match) return std::nullopt;
        match = std::move(entry);
    }
    return match;
}

std::optional<FileId> SiteFiles::IdOf(const std::string& path) {
    if (Kind(path) != EntryKind::File) return std::nullopt;
    try {
        return Open(path)->Id();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

FolderListing SiteFiles::ListFolder(const std::string& folder) {
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    const EntryKind kind = Kind(bare);
    if (kind != EntryKind::Folder) throw FileError(SystemReason(kind == EntryKind::Missing ? ENOENT : ENOTDIR));
    FolderListing listing;
    for (std::string& name : ListNames(bare)) {
        const EntryKind entryKind = Kind(bare + '/' + name);
        if (entryKind != EntryKind::Missing) listing.entries.push_back({std::move(name), entryKind, {}, {}});
    }
    return listing;
}

}  // namespace quernfold
