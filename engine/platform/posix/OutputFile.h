#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "engine/page/OutputSink.h"
#include "engine/platform/AtomicFile.h"
#include "engine/site/SiteFiles.h"

namespace quernfold {

/**
 * A file written so that nothing half-written is ever published. The bytes go through one fixed buffer to a
 * file without a name (O_TMPFILE) in the target's folder; Publish links it onto the target's name when none
 * stands there, else links it to a random ".quernfold-*.tmp" name beside it and renames that over the target.
 * Where the file system has no unnamed files (or /proc is missing), a temporary file with an unpredictable name
 * is written instead. A kill leaves at most that one temporary file; no other process can guess its name.
 * Every write and the close are checked; a failure throws OutputError and stays (later writes throw too).
 */
class OutputFile : public PageOutput {
public:
    /** Opens the file for path; the folder is opened here, links in it followed. Throws OutputError. */
    explicit OutputFile(const std::string& path, const WritePolicy& policy = {});
    /** Opens the file for name inside the open folder folderFd (borrowed, kept open by the caller). */
    OutputFile(int folderFd, const std::string& name, std::string displayPath, const WritePolicy& policy);
    /**
     * A file without a target yet, in the open folder folderFd (borrowed): it is written now and named later by
     * MoveTo, on the same file system. Its bytes go out at once: it has no buffer.
     */
    struct Ahead {};
    OutputFile(Ahead, int folderFd);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::string_view bytes) override;
    /**
     * Gives a file opened with Ahead its target: name in the open folder folderFd (borrowed; kept open until
     * Publish), shown as displayPath. Throws OutputError, also for a file that already has its target.
     */
    void MoveTo(int folderFd, const std::string& name, std::string displayPath);
    /**
     * Makes the file a copy of the first size bytes of sourceFd (its size when it was opened), its holes kept as
     * holes, through the kernel where it can (copy_file_range), else through a buffer. A source that ends before
     * size fails the copy; one that grew is copied as it was. stop, when set, ends the copy with RunStopped within
     * every 64 MiB. Throws OutputError, naming the system's reason. Call it on a file nothing was written to.
     */
    void CopyFrom(int sourceFd, std::uint64_t size, const std::atomic<bool>* stop);
    /** Sets the access and modification times the file keeps once published; call it after the last write. */
    void SetTimes(const struct timespec (&times)[2]);

    /** Flushes, closes and puts the file in place. Throws OutputError; the target is then as it was. */
    void Publish() override;
    /** Throws away what was written; the target is left as it was. */
    void Discard() noexcept override;

    const std::string& Path() const { return m_path; }
    /** Identity of the file being written; it keeps it once published. */
    FileId Id() const override { return m_id; }

private:
    enum class Mode { Unnamed, NamedTemporary, InPlace };

    void Open(const WritePolicy& policy);
    bool OpenThroughDescriptor(const std::string& path);
    void OpenNamedTemporary(mode_t createMode, bool mayRewriteInPlace);
    void LinkInPlace();
    void Flush();
    void WriteAll(std::string_view bytes);
    void CopyRange(int sourceFd, std::uint64_t from, std::uint64_t to, const std::atomic<bool>* stop, bool& kernel);
    [[noreturn]] void Fail(const std::string& reason);
    void CloseFolder() noexcept;

    std::string m_path;   // as shown in messages
    std::string m_name;   // the target's name in its folder
    int m_folderFd = -1;
    bool m_ownsFolder = false;
    bool m_sync = false;
    bool m_targetExisted = false;
    bool m_throughDescriptor = false;  // a descriptor the program already had (/dev/stdout): never truncated
    bool m_ahead = false;              // opened without a target, which MoveTo gives it once
    bool m_unbuffered = false;         // writes go straight to the file
    Mode m_mode = Mode::Unnamed;
    std::string m_tempName;  // the named temporary file, while it exists
    int m_fd = -1;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    std::uint64_t m_sizeLimit = UINT64_MAX;
    std::string m_error;
    FileId m_id;
};

/** A name for a temporary file nobody can guess: ".quernfold-" + 16 random hex digits + ".tmp". */
std::string RandomTemporaryName();

}  // namespace quernfold
