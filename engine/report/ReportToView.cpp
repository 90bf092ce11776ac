#include "engine/report/ReportToView.h"

#include <memory>
#include <optional>
#include <stdexcept>

#include "engine/platform/AtomicFile.h"
#include "engine/platform/RunRecords.h"

namespace quernfold {

std::string SaveReportToView(const RunReport& report, const std::string& outputRoot) {
    const std::optional<std::string> record = RunRecordPath(outputRoot);
    if (!record) throw std::runtime_error("the output folder does not exist");
    const std::string path = *record + ".report.html";
    if (!MakeRunRecordFolder(path)) throw std::runtime_error("the cache folder cannot be made");
    const std::unique_ptr<PageOutput> file = CreateAtomicFile(path, WritePolicy::LogFile());
    WriteReportHtml(report, [&](std::string_view piece) { file->Write(piece); });
    file->Publish();
    return path;
}

}  // namespace quernfold
