#pragma once

#include <string>
#include <string_view>

#include "tests/support/Files.h"
#include "tests/support/Process.h"
#include "tests/support/Sandbox.h"

namespace quernfold::test_support {

/** The log text a log written as lines ("line\n" each, the form of stdout) has: CR LF before every line. */
std::string LogTextFromLines(std::string_view lines);

/** Banner lines of a wrong length: every line made of "=" only must have 77, "#" 79 and "*" 78 characters. */
std::string BannerProblems(std::string_view lines);

}  // namespace quernfold::test_support
