#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/Process.h"
#include "tests/support/Sandbox.h"

namespace quernfold::test_support {

/** The log text a log written as lines ("line\n" each, the form of stdout) has: CR LF before every line. */
std::string LogTextFromLines(std::string_view lines);

/** A work folder holding "site" (a copy of a fixture site under tests/data/cli, or empty) and an empty "out". */
class Workspace {
public:
    explicit Workspace(const std::string& fixture = {});
    std::filesystem::path Dir() const { return m_sandbox.Root(); }
    std::filesystem::path Site() const { return Dir() / "site"; }
    std::filesystem::path Out() const { return Dir() / "out"; }
    /** Runs quernfold-cli with args in the work folder. */
    ProcessResult Run(const std::vector<std::string>& args, ProcessOptions options = {}) const;

private:
    Sandbox m_sandbox;
};

/** Log lines as quernfold-cli prints them on stdout, each ending in "\n". */
std::string Started(const std::string& source);
std::string Generated(const std::string& output);
/** The summary block; extraLine (with its "\n") stands before the closing banner, as the static files' line. */
std::string Summary(int pages, int succeeded, int failed, int warnings, const std::string& extraLine = {});

/** Banner lines of a wrong length: every line made of "=" only must have 77, "#" 79 and "*" 78 characters. */
std::string BannerProblems(std::string_view lines);

}  // namespace quernfold::test_support
