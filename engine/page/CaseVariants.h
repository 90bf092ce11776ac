#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quernfold {

/**
 * The source extension in another letter case, as an IIS server served it: `.Asp` and `.ASP` for ".asp". Only
 * ASCII letters are folded. A variant counts only at a word end (not followed by a letter, digit, "_" or any non-ASCII byte),
 * so `.Aspx` stays; the exact spelling is no variant (the plain rewrite handles it, word end or not).
 * search begins with ".", a byte that is never part of a double-byte character, so a match always starts on a
 * character boundary whatever the page's code page.
 */
std::size_t FindCaseVariant(std::string_view line, std::string_view search, std::size_t from = 0);

/** Replaces every case variant of search in line; false (out untouched) when there is none. */
bool ReplaceCaseVariants(std::string_view line, std::string_view search, std::string_view replacement,
                         std::string& out);

}  // namespace quernfold
