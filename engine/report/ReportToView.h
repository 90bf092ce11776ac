#pragma once

#include <string>

#include "engine/report/RunReport.h"

namespace quernfold {

/**
 * Writes the HTML report of a run into the user's cache folder, beside the record of the last run into its output
 * folder (never into the output tree, which is published), whole or not at all; returns its path. Throws, with
 * the reason, when it cannot be written.
 */
std::string SaveReportToView(const RunReport& report, const std::string& outputRoot);

}  // namespace quernfold
