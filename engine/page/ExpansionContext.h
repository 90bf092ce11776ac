#pragma once

#include <cstdint>
#include <string>

namespace quernfold {

/**
 * What the expander shares with whoever runs it: the site root its includes may not leave, the nesting depth of
 * the page being expanded and the warning counter. A run keeps these in its run state; a worker converting ahead,
 * or a look-ahead expansion into nothing, keeps its own.
 */
struct ExpansionContext {
    std::string siteRoot;        // ends in the separator
    std::int64_t pageDepth = 0;  // nesting depth of the page being expanded; the source page runs at 1
    std::int64_t warningCount = 0;

    // Every warning line is one warning.
    void CountWarning() { ++warningCount; }
};

}  // namespace quernfold
