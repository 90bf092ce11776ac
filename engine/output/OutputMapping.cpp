#include "engine/output/OutputMapping.h"

#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/output/PathRules.h"

namespace quernfold {

OutputPathPlan MapOutputPath(const std::string& sourcePath, std::string_view siteRoot, std::string_view outputRoot,
                             std::string_view outputTypeTrimmed) {
    return PlanOutputPath(sourcePath, siteRoot, outputRoot, outputTypeTrimmed, kNativeSeparator);
}

}  // namespace quernfold
