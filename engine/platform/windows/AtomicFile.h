#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/page/OutputSink.h"
#include "engine/platform/windows/Handle.h"

namespace quernfold {

/** Identity of an open file: the volume's serial number and the file's index on it. */
FileId IdOf(HANDLE handle);

/** Nanoseconds since 1970 (what the engine keeps) from a FILETIME (100 ns since 1601), and back. */
std::int64_t NanosecondsOf(const FILETIME& time);
FILETIME FileTimeOf(std::int64_t nanoseconds);

/**
 * A file written so that nothing half-written ever stands under its name: the bytes go to a temporary file with
 * an unpredictable name (".quernfold-" + 16 hex digits + ".tmp") in the target's folder, and Publish puts it in
 * place with MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A target that another program holds
 * open fails Publish with the system's reason and stays as it was. Every write is checked; a failure throws
 * OutputError and stays (later writes throw too).
 */
class AtomicFile : public PageOutput {
public:
    /** Makes the temporary file beside path. Throws OutputError with the system's reason. */
    explicit AtomicFile(std::string path, std::uint64_t sizeLimit = UINT64_MAX);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void Write(std::string_view bytes) override;
    /** The times the file keeps once published (a copied static file keeps its source's). */
    void SetTimes(const FILETIME& accessed, const FILETIME& modified);
    /** The bytes reach the disk before Publish returns (the settings file). */
    void SyncOnPublish() { m_sync = true; }
    void Publish() override;
    void Discard() noexcept override;
    FileId Id() const override { return m_id; }

    const std::string& Path() const { return m_path; }
    /** The temporary file's full name, while it exists; for tests. */
    const std::wstring& TemporaryName() const { return m_temporary; }

private:
    void Flush();
    [[noreturn]] void Fail(const std::string& reason);

    std::string m_path;
    std::wstring m_target;
    std::wstring m_temporary;
    Handle m_file;
    std::string m_buffer;
    std::uint64_t m_written = 0;
    std::uint64_t m_sizeLimit;
    std::optional<FILETIME> m_accessed;
    std::optional<FILETIME> m_modified;
    bool m_sync = false;
    std::string m_error;
    FileId m_id;
};

}  // namespace quernfold
