#include "engine/report/LeftoverList.h"

#include <utility>

namespace quernfold {

void LeftoverList::Add(BoundedList<Leftover>& list, const std::string& outputPath, const PageLink& note) {
    ++list.total;
    if (list.entries.size() >= m_mostListed) {
        list.truncated = true;
        return;
    }
    list.entries.push_back({outputPath, note.line, note.path, note.count, note.link});
}

void LeftoverList::AddFile(const std::string& outputPath, const std::vector<PageLink>& notes) {
    bool serverCode = false;
    bool exposure = false;
    for (const PageLink& note : notes) {
        if (note.kind == NoteKind::ServerCode) {
            serverCode = true;
            Add(m_serverCode, outputPath, note);
        } else if (note.kind == NoteKind::Exposure) {
            exposure = true;
            Add(m_exposures, outputPath, note);
        }
    }
    m_pagesWithServerCode += serverCode;
    m_filesWithExposures += exposure;
}

void LeftoverList::MoveInto(RunReport& report) {
    report.serverCode = std::move(m_serverCode);
    report.exposures = std::move(m_exposures);
    report.pagesWithServerCode = m_pagesWithServerCode;
    report.filesWithExposures = m_filesWithExposures;
}

}  // namespace quernfold
