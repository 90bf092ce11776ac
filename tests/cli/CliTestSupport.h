#pragma once

#include <sys/resource.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quernfold::testing_support {

/** A temporary folder that is removed with everything in it, however deep or locked down. */
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::filesystem::path& Root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

/** Copies a fixture folder (hidden entries included) to target. */
void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to);

/** Writes bytes to a file, creating its folders. */
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

std::string ReadFile(const std::filesystem::path& path);

/**
 * Every entry below root, by relative path: a file maps to its bytes, a folder to "<folder>", anything else to
 * "<other>". Hidden entries (and any leftover temporary file) are included.
 */
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const std::filesystem::path& root);

/** A readable list of the differences between two trees; empty when they are equal. */
std::string TreeDifferences(const Tree& expected, const Tree& actual);

struct ProcessResult {
    int exitStatus = -1;  // 128 + signal number when the process was killed
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::filesystem::path workDir;
    std::optional<rlim_t> fileSizeLimit;
    std::vector<int> closedDescriptors;  // of 0, 1, 2: closed in the child instead of captured
};

/** Runs program with args in workDir, stdout and stderr captured to files outside workDir, and waits for it. */
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options);

/** The log text a log written as lines ("line\n" each, the form of stdout) has: CR LF before every line. */
std::string LogTextFromLines(std::string_view lines);

/** Banner lines of a wrong length: every line made of "=" only must have 77, "#" 79 and "*" 78 characters. */
std::string BannerProblems(std::string_view lines);

}  // namespace quernfold::testing_support
