#pragma once

#include "engine/run/ConversionRun.h"
#include "engine/run/RunState.h"

namespace quernfold {

/** Writes the four choices to the settings store, as every press of the start button does first. */
void SaveChoices(const ConversionChoices& choices, SettingsStore& settings);

/** The run state as a new run starts it; the log is cleared here too. */
void ResetState(const ConversionChoices& choices, RunState& state, LogSink& log);

}  // namespace quernfold
