#include "tests/cli/CliTestSupport.h"

namespace quernfold::test_support {

Workspace::Workspace(const std::string& fixture) {
    if (!fixture.empty()) CopyTree(std::filesystem::path(QUERNFOLD_TEST_DATA) / "cli" / fixture / "site", Site());
    std::filesystem::create_directories(Site());
    std::filesystem::create_directories(Out());
}

ProcessResult Workspace::Run(const std::vector<std::string>& args, ProcessOptions options) const {
    options.workDir = Dir();
    return RunProcess(QUERNFOLD_CLI, args, options);
}

std::string Started(const std::string& source) {
    return std::string(77, '=') + "\n开始转换:" + source + "....\n";
}

std::string Generated(const std::string& output) {
    return ">>生成" + output + "成功！\n";
}

std::string Summary(int pages, int succeeded, int failed, int warnings, const std::string& extraLine) {
    const std::string stars(78, '*');
    return stars + "\n共转换文件" + std::to_string(pages) + "个\n其中：成功" + std::to_string(succeeded) +
           "个\n      失败" + std::to_string(failed) + "个\n转换过程中共发生" + std::to_string(warnings) +
           "次异常警告\n" + extraLine + stars + "\n";
}

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
