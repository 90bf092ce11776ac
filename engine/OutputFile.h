#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "engine/OutputSink.h"
#include "engine/SiteFiles.h"

namespace quernfold {

/**
 * A file written safely: the bytes go to a temporary file beside the target (".quernfold-*.tmp"), through one
 * fixed buffer, and the temporary file is renamed onto the target when it is published. So a killed run never
 * leaves a truncated file under the target's name, and a link planted at the target is replaced, never written
 * through. Every write and the close are checked; a failure throws OutputError and stays (later writes throw
 * too). A target that exists and is not a regular file (/dev/stdout, a pipe) is written in place when the
 * caller allows it.
 */
class OutputFile : public OutputSink {
public:
    enum class Target { ReplaceAtomically, InPlaceIfNotRegular };

    /** Opens the temporary file (or the target itself, see above). Throws OutputError with the system's reason. */
    explicit OutputFile(std::string path, Target target = Target::ReplaceAtomically,
                        std::uint64_t sizeLimit = UINT64_MAX);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::string_view bytes) override;

    /**
     * Appends everything left to read from sourceFd, through the kernel where it can (copy_file_range), else
     * through a buffer. Throws OutputError, naming the system's reason.
     */
    void CopyFrom(int sourceFd);
    /** Sets the access and modification times the file keeps once published; call it after the last write. */
    void SetTimes(const struct timespec (&times)[2]);

    /** Flushes, closes and renames onto the target. Throws OutputError. */
    void Publish();
    /** After a failure: publishes what was written, as far as it can; never throws. */
    void PublishPartial() noexcept;
    /** Throws away what was written; the target is left as it was. */
    void Discard() noexcept;

    const std::string& Path() const { return m_path; }
    /** Identity of the file being written (the temporary file until it is published). */
    FileId Id() const { return m_id; }

private:
    void Flush();
    void WriteAll(std::string_view bytes);
    void Fail(const std::string& reason);

    std::string m_path;
    std::string m_tempPath;  // empty when writing in place
    int m_fd = -1;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    std::uint64_t m_sizeLimit;
    std::string m_error;
    FileId m_id;
};

/** Writes a whole file safely (log.txt, config.ini). Throws OutputError. */
void WriteFileAtomically(const std::string& path, std::string_view bytes,
                         OutputFile::Target target = OutputFile::Target::ReplaceAtomically);

}  // namespace quernfold
