#include "tests/cli/CliTestSupport.h"

namespace quernfold::test_support {

std::string LogTextFromLines(std::string_view lines) {
    std::string text;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos) end = lines.size();
        text += "\r\n";
        text.append(lines.substr(start, end - start));
        start = end + 1;
    }
    return text;
}

std::string BannerProblems(std::string_view lines) {
    std::string report;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos) end = lines.size();
        const std::string_view line = lines.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line.find_first_not_of(line.front()) != std::string_view::npos) continue;
        const std::size_t wanted = line.front() == '=' ? 77 : line.front() == '#' ? 79 : line.front() == '*' ? 78 : 0;
        if (wanted != 0 && line.size() != wanted) {
            report += std::string(1, line.front()) + " banner of " + std::to_string(line.size()) + " characters\n";
        }
    }
    return report;
}

}  // namespace quernfold::test_support
