#pragma once

#include <string>
#include <vector>

#include "engine/run/SideOutputGuard.h"

namespace quernfold {

class RunPlan;
class SiteFiles;
struct ConversionChoices;

/** What a run with -a would do with one static file of the site. */
struct PlannedStaticFile {
    enum class Action { Copy, Unchanged, Skip };
    std::string path;    // in the site
    std::string output;  // where it would go; empty when skipped
    Action action = Action::Copy;
    std::string why;  // for Skip: why it would not be published, in the copy's own words
};

/**
 * The static files a run with these choices would copy, leave as they are (the copy in the output folder has the
 * source's size and time) or skip, in the copy's order, from the run's own plan and rules. readByPages: the files
 * the pages include (never published). Nothing is written.
 */
std::vector<PlannedStaticFile> PlanStaticFiles(const ConversionChoices& choices, const RunPlan& plan, SiteFiles& site,
                                               const FileIds& readByPages);

}  // namespace quernfold
