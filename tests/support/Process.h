#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quernfold::test_support {

struct ProcessResult {
    int exitStatus = -1;  // 128 + signal number when the process was killed
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::filesystem::path workDir;
    std::optional<rlim_t> fileSizeLimit;
    // Called while the program runs, with its process id and the file its stdout goes to (to signal it).
    std::function<void(pid_t, const std::filesystem::path& stdoutFile)> whileRunning = {};
    std::vector<int> closedDescriptors = {};  // of 0, 1, 2: closed in the child instead of captured
};

/** Runs program with args in workDir, stdout and stderr captured to files outside workDir, and waits for it. */
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options);

}  // namespace quernfold::test_support
