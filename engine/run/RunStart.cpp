#include "engine/run/RunStart.h"

#include "engine/log/Sinks.h"
#include "engine/output/PathRules.h"
#include "engine/run/RunPlan.h"
#include "engine/run/SettingsStore.h"

namespace quernfold {

namespace {

constexpr std::string_view kSection = "sys";

}  // namespace

void SaveChoices(const ConversionChoices& choices, SettingsStore& settings) {
    settings.WriteIni(kSection, "workPath", choices.siteRoot);
    settings.WriteIni(kSection, "outputDir", choices.outputDir);
    settings.WriteIni(kSection, "srcType", choices.sourceType);
    settings.WriteIni(kSection, "outputType", choices.outputType);
}

// The run state as a new run starts it; the log is cleared here too.
void ResetState(const ConversionChoices& choices, RunState& state, LogSink& log) {
    state.outputRoot = WithTrailingSeparator(TrimSpaces(choices.outputDir), kNativeSeparator);
    state.siteRoot = PlannedSiteRoot(choices);
    log.ClearLog();
    state.srcExt = TrimSpaces(choices.sourceType);
    state.fileCount = 0;
    state.failCount = 0;
    state.warningCount = 0;
    state.fileList.clear();
}

}  // namespace quernfold
