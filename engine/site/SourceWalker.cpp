#include "engine/site/SourceWalker.h"

#include "engine/text/AsciiText.h"
#include "engine/platform/Disk.h"
#include "engine/site/SiteWalk.h"
#include "engine/output/PathRules.h"
#include "engine/text/Utf8.h"

namespace quernfold {

namespace {

// Offset of the start of the last `count` characters of a UTF-8 name (bytes that are not UTF-8 count one each).
std::size_t LastCharactersStart(std::string_view name, std::size_t count) {
    std::size_t at = name.size();
    while (count > 0 && at > 0) {
        --at;
        std::size_t back = 0;
        while (at > 0 && back < 3 && IsUtf8Continuation(static_cast<unsigned char>(name[at]))) {
            --at;
            ++back;
        }
        if (back > 0 && static_cast<unsigned char>(name[at]) < 0xC0) at += back;  // stray continuation bytes
        --count;
    }
    return count == 0 ? at : std::string_view::npos;
}

}  // namespace

bool IsSourcePageName(std::string_view name, std::string_view sourceType) {
    if (sourceType.empty()) return true;
    const std::size_t start = LastCharactersStart(name, 3);
    if (start == std::string_view::npos) return false;
    const std::string_view tail = name.substr(start);
    if (tail.size() != sourceType.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (UpperAscii(tail[i]) != UpperAscii(sourceType[i])) return false;
    }
    return true;
}

void CollectSourceFiles(SiteFiles& files, const std::string& folder, std::string_view sourceType,
                        std::vector<std::string>& fileList, std::unordered_set<FileId, FileIdHash>* pageIds) {
    WalkRules rules;
    rules.file = [&](const std::string& path, const std::string&, const FolderEntry& entry) {
        if (!IsSourcePageName(entry.name, sourceType)) return;
        fileList.push_back(path);
        if (pageIds && entry.id.Known()) pageIds->insert(entry.id);
    };
    WalkSite(files, folder, rules);
}

void CollectSourceFiles(const std::string& folder, std::string_view sourceType, std::vector<std::string>& fileList,
                        std::unordered_set<FileId, FileIdHash>* pageIds) {
    const std::unique_ptr<SiteFiles> files = OpenSiteOnDisk(WithTrailingSeparator(folder, kNativeSeparator));
    CollectSourceFiles(*files, folder, sourceType, fileList, pageIds);
}

}  // namespace quernfold
