#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quernfold {

/**
 * Replaces every match of a fixed length in line by replacement, left to right and without overlap; find(from)
 * gives the next match at or after from, or npos. False (out untouched) when there is none, so a line without a
 * match is never copied.
 */
template <typename Find>
bool ReplaceEach(std::string_view line, std::size_t matchSize, std::string_view replacement, std::string& out,
                 Find find) {
    std::size_t at = find(0);
    if (at == std::string_view::npos) return false;
    out.clear();
    std::size_t from = 0;
    while (at != std::string_view::npos) {
        out.append(line.substr(from, at - from));
        out.append(replacement);
        from = at + matchSize;
        at = find(from);
    }
    out.append(line.substr(from));
    return true;
}

}  // namespace quernfold
