#include "engine/page/CaseVariants.h"

#include "engine/page/ReplaceEach.h"

namespace quernfold {

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A byte of a non-ASCII character counts as a word byte: that character may be a letter of a longer extension.
bool IsWordByte(char c) {
    return static_cast<unsigned char>(c) >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool HasAsciiLetter(std::string_view text) {
    for (const char c : text) {
        if (FoldAscii(c) != c || (c >= 'a' && c <= 'z')) return true;
    }
    return false;
}

// At `at`, the search text in some letter case other than its own, ending a word.
bool VariantAt(std::string_view line, std::size_t at, std::string_view search) {
    if (line.size() - at < search.size()) return false;
    bool differs = false;
    for (std::size_t i = 0; i < search.size(); ++i) {
        const char have = line[at + i];
        if (FoldAscii(have) != FoldAscii(search[i])) return false;
        differs = differs || have != search[i];
    }
    const std::size_t end = at + search.size();
    return differs && (end == line.size() || !IsWordByte(line[end]));
}

}  // namespace

std::size_t FindCaseVariant(std::string_view line, std::string_view search, std::size_t from) {
    if (search.size() < 2 || search[0] != '.' || !HasAsciiLetter(search.substr(1))) return std::string_view::npos;
    for (std::size_t at = line.find('.', from); at != std::string_view::npos; at = line.find('.', at + 1)) {
        if (VariantAt(line, at, search)) return at;
    }
    return std::string_view::npos;
}

bool ReplaceCaseVariants(std::string_view line, std::string_view search, std::string_view replacement,
                         std::string& out) {
    return ReplaceEach(line, search.size(), replacement, out,
                       [&](std::size_t from) { return FindCaseVariant(line, search, from); });
}

}  // namespace quernfold
