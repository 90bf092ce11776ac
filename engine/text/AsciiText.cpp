#include "engine/text/AsciiText.h"

namespace quernfold {

std::string FoldAsciiCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = LowerAscii(c);
    return folded;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::size_t at, std::string_view prefix) {
    return at <= text.size() && text.size() - at >= prefix.size() &&
           EqualsIgnoringAsciiCase(text.substr(at, prefix.size()), prefix);
}

std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view needle, std::size_t from) {
    for (std::size_t i = from; i <= text.size() && text.size() - i >= needle.size(); ++i) {
        if (StartsWithIgnoringAsciiCase(text, i, needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view TrimAsciiSpace(std::string_view text) {
    while (!text.empty() && IsAsciiSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsAsciiSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::size_t SkipAsciiSpace(std::string_view text, std::size_t i) {
    while (i < text.size() && IsAsciiSpace(text[i])) {
        ++i;
    }
    return i;
}

}  // namespace quernfold
