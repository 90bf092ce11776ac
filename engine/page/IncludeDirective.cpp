#include "engine/page/IncludeDirective.h"

#include <algorithm>

#include "engine/text/AsciiText.h"
#include "engine/output/PathRules.h"

namespace quernfold {

namespace {

bool FollowedByEquals(std::string_view text, std::size_t from) {
    while (from < text.size() && text[from] == ' ') ++from;
    return from < text.size() && text[from] == '=';
}

// The first "file" or "virtual" that is followed by "=", as (position, length).
std::optional<std::pair<std::size_t, std::size_t>> FindKeyword(CodePage cp, std::string_view block) {
    std::size_t fileFrom = 0, virtualFrom = 0;
    std::size_t file = FindAtBoundary(cp, block, "file", fileFrom);
    std::size_t virt = FindAtBoundary(cp, block, "virtual", virtualFrom);
    while (file != std::string_view::npos || virt != std::string_view::npos) {
        if (file < virt) {
            if (FollowedByEquals(block, file + 4)) return std::make_pair(file, std::size_t{4});
            file = FindAtBoundary(cp, block, "file", file + 4);
        } else {
            if (FollowedByEquals(block, virt + 7)) return std::make_pair(virt, std::size_t{7});
            virt = FindAtBoundary(cp, block, "virtual", virt + 7);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> IncludeTarget(CodePage cp, std::string_view block, std::string& scratch) {
    if (!ContainsAtBoundary(cp, block, "include")) return std::nullopt;
    const auto keyword = FindKeyword(cp, block);
    if (!keyword) return std::nullopt;
    // The keyword and the one character after it are cut off; "=" and spaces are single-byte in every code page.
    const std::size_t cut = keyword->first + keyword->second + 1;
    std::string_view rest = TrimSpaces(cut <= block.size() ? block.substr(cut) : std::string_view());
    scratch.assign(rest);
    scratch.erase(std::remove(scratch.begin(), scratch.end(), '='), scratch.end());
    rest = TrimSpaces(scratch);
    if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
        const std::size_t close = rest.find(rest.front(), 1);
        if (close != std::string_view::npos) return rest.substr(1, close - 1);
    }
    const std::size_t space = rest.find(' ');
    return space == std::string_view::npos ? rest : TrimSpaces(rest.substr(0, space));
}

std::string CleanIncludeTarget(CodePage cp, std::string_view target, char sep) {
    std::string cleaned;
    cleaned.reserve(target.size());
    const auto* data = reinterpret_cast<const unsigned char*>(target.data());
    for (std::size_t i = 0; i < target.size();) {
        const std::size_t length = CharLength(cp, data + i, target.size() - i);
        if (length == 1) {
            const char c = target[i];
            if (c == '/' || c == '\\') {
                cleaned += sep;
            } else if (c != '"' && c != '\'') {
                cleaned += c;
            }
        } else {
            // A double-byte character stays whole, even when its trail byte looks like "\".
            cleaned.append(target.substr(i, length));
        }
        i += length;
    }
    return std::string(TrimSpaces(cleaned));
}

}  // namespace quernfold
