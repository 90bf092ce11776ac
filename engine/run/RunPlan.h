#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/run/ConversionRun.h"

namespace quernfold {

class MessageSink;

/** Where one source page would go, and what stands in its way. */
struct PlannedPage {
    std::string source;
    std::string output;
    std::optional<std::string> collidesWith;  // an earlier page of the run with the same output path
    bool outputIsSourceFile = false;          // the output path is a listed page or a file inside the site
};

/**
 * What a run with these choices would write, page by page in the run's order, without writing anything or
 * creating a folder. A refusal or a folder that cannot be listed is shown through messages, with the run's own
 * texts, and gives nullopt.
 */
std::optional<std::vector<PlannedPage>> PlanConversion(const ConversionChoices& choices, MessageSink& messages);

}  // namespace quernfold
