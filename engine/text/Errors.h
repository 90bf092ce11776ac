#pragma once

#include <stdexcept>
#include <string>

namespace quernfold {

/** A file of the site could not be opened or read: the page (or include) being expanded fails. */
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/**
 * Writing the output page failed (a full disk, a size limit, a failed close). It passes through every nested
 * expansion, so the source page is logged as failed: a page with a hole in it is never logged as converted.
 */
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/** A failure outside the per-page guard (a folder of the site cannot be listed): the run ends without summary. */
class WalkError : public std::runtime_error {
public:
    WalkError(std::string folder, const std::string& reason)
        : std::runtime_error(reason), m_folder(std::move(folder)) {}
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

/** The system's description of an errno value. */
std::string SystemReason(int errorNumber);

}  // namespace quernfold
