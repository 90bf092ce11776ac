#pragma once

#include <cstdint>
#include <string>

#include "engine/page/LinkScanningOutput.h"
#include "engine/report/RunReport.h"

namespace quernfold {

/**
 * The server code left in published pages and the lines that expose connection details, one entry per file and
 * kind, at most a set number of each; the files that hold any are counted in full.
 */
class LeftoverList {
public:
    explicit LeftoverList(std::size_t mostListed) : m_mostListed(mostListed) {}

    /** The notes of one file published at outputPath (its other notes are passed over). */
    void AddFile(const std::string& outputPath, const std::vector<PageLink>& notes);

    void MoveInto(RunReport& report);

private:
    void Add(BoundedList<Leftover>& list, const std::string& outputPath, const PageLink& note);

    std::size_t m_mostListed;
    BoundedList<Leftover> m_serverCode;
    BoundedList<Leftover> m_exposures;
    std::int64_t m_pagesWithServerCode = 0;
    std::int64_t m_filesWithExposures = 0;
};

}  // namespace quernfold
