#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "engine/output/OutputTree.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/** A static file of the site, open for copying. */
class StaticSource {
public:
    /**
     * Opens path without blocking (a FIFO swapped in since the walk cannot hang the run); it must be a regular
     * file. Throws FileError naming the reason.
     */
    explicit StaticSource(const std::string& path);
    ~StaticSource();
    StaticSource(const StaticSource&) = delete;
    StaticSource& operator=(const StaticSource&) = delete;

    int Fd() const { return m_fd; }
    const struct stat& Info() const { return m_info; }
    FileId Id() const;

private:
    int m_fd = -1;
    struct stat m_info {};
};

/**
 * Copies one static file into the open folder folderFd under name: bytes identical, access and modification
 * times kept, written through a temporary file and a rename. A file already there with the source's size and
 * modification time is left alone (Unchanged), so a second run over an unchanged site copies nothing. A file
 * there that the run reads (isReadByRun) is never replaced. Throws FileError or OutputError naming the reason.
 */
CopyOutcome CopyIntoFolder(int folderFd, const std::string& name, const std::string& displayPath,
                           const StaticSource& source, const std::function<bool(const FileId&)>& isReadByRun);

}  // namespace quernfold
