#include "engine/log/LogLines.h"
#include "engine/log/Sinks.h"
#include "engine/output/PathRules.h"
#include "engine/platform/AtomicFile.h"
#include "engine/platform/FolderIdentity.h"
#include "engine/run/ConversionRun.h"

// The save-log button: "log.txt" in the output folder, never over a file the last run read or wrote.

namespace quernfold {

bool SaveConversionLog(const std::string& outputDirText, const std::string& logText, RunState& state,
                       MessageSink& messages) {
    if (TrimSpaces(outputDirText).empty()) {
        messages.ShowMessage(kNoOutputFolderText, kTitleReminder, MessageIcon::Stop);
        return false;
    }
    state.outputRoot = WithTrailingSeparator(TrimSpaces(outputDirText), kNativeSeparator);
    const std::string logPath = state.outputRoot + "log.txt";
    if (const auto owned = state.lastRun) {
        // Saving again replaces an earlier log.txt; never a file of the run.
        const std::optional<FileId> existing = IdentityOf(logPath);
        const bool isOutputPath = owned->logTxtIsOutputPath && owned->outputRoot &&
                                  IdentityOf(state.outputRoot) == owned->outputRoot;
        if ((existing && owned->filesRead.count(*existing)) || isOutputPath) {
            messages.ShowMessage(LogSaveFailedText(LogTxtOwnedReason(logPath)), kTitleError, MessageIcon::Stop);
            return false;
        }
    }
    try {
        WriteFileAtomically(logPath, logText);
    } catch (const std::exception& failure) {
        messages.ShowMessage(LogSaveFailedText(failure.what()), kTitleError, MessageIcon::Stop);
        return false;
    }
    messages.ShowMessage(LogSavedText(logPath), kTitleNotice, MessageIcon::Information);
    return true;
}

}  // namespace quernfold
