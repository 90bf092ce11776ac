#pragma once

#include "engine/report/RunReport.h"
#include "engine/run/ConversionRun.h"

namespace quernfold {

class RunPlan;

/**
 * Ends a run that got as far as its summary, from its counts alone: the summary's lines in the log, the final
 * message box (none after a stop request), the result for the front end and the report's totals.
 */
void FinishRun(const RunCounts& counts, const ConversionChoices& choices, const RunPlan& plan, const RunSinks& sinks,
               RunResult& result);

}  // namespace quernfold
