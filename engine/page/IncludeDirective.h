#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/text/CodePage.h"

namespace quernfold {

/**
 * Whether a code block is an include directive, and its raw target. A block is a directive when it holds
 * "include" and a keyword "file" or "virtual" followed, after optional spaces, by "="; the first such keyword
 * counts. The target is what follows the keyword and the character after it, with every "=" removed and trimmed:
 * the text between a leading quote and its match (spaces kept), else the first word. nullopt when the block is
 * not a directive; an empty view when it names nothing.
 */
std::optional<std::string_view> IncludeTarget(CodePage cp, std::string_view blockText, std::string& scratch);

/** Removes quotes and apostrophes, turns "/" and "\" into sep and trims spaces. */
std::string CleanIncludeTarget(CodePage cp, std::string_view target, char sep);

}  // namespace quernfold
