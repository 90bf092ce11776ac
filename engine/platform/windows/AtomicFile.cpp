#include "engine/platform/windows/AtomicFile.h"

#include <random>

#include "engine/log/LogLines.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

std::wstring RandomTemporaryName() {
    // random_device draws on the system's generator (RtlGenRandom) here: nobody can guess the name.
    std::random_device random;
    static constexpr wchar_t kHex[] = L"0123456789abcdef";
    std::wstring name = L".quernfold-";
    for (int i = 0; i < 16; ++i) name += kHex[random() % 16];
    return name + L".tmp";
}

}  // namespace

FileId IdOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return {};
    return FileId{info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

namespace {

constexpr std::int64_t kEpochDifference = 116444736000000000;  // 1601 to 1970 in 100 ns steps

}  // namespace

std::int64_t NanosecondsOf(const FILETIME& time) {
    const std::int64_t ticks = static_cast<std::int64_t>((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - kEpochDifference) * 100;
}

FILETIME FileTimeOf(std::int64_t nanoseconds) {
    std::int64_t ticks = nanoseconds / 100;
    if (nanoseconds % 100 < 0) --ticks;  // toward the past, as the file system rounds
    const auto value = static_cast<std::uint64_t>(ticks + kEpochDifference);
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFF), static_cast<DWORD>(value >> 32)};
}

AtomicFile::AtomicFile(std::string path, std::uint64_t sizeLimit) : m_path(std::move(path)), m_sizeLimit(sizeLimit) {
    std::optional<std::wstring> target = ExtendedPath(m_path);
    if (!target) throw OutputError(WindowsReason(ERROR_INVALID_NAME));
    m_target = std::move(*target);
    const std::size_t slash = m_target.find_last_of(L'\\');
    const std::wstring folder = m_target.substr(0, slash + 1);
    for (int attempt = 0; attempt < 8 && !m_file.Valid(); ++attempt) {
        m_temporary = folder + RandomTemporaryName();
        // CREATE_NEW: never an existing file, never through a link standing at the name. No sharing while written.
        m_file = Handle(::CreateFileW(m_temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_file.Valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!m_file.Valid()) {
        const std::string reason = LastWindowsReason();
        m_temporary.clear();
        throw OutputError(reason);
    }
    m_id = IdOf(m_file.Get());
    m_buffer.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Fail(const std::string& reason) {
    m_error = reason;
    throw OutputError(reason);
}

void AtomicFile::Write(std::string_view bytes) {
    if (!m_error.empty()) throw OutputError(m_error);
    if (!m_file.Valid()) throw OutputError(WindowsReason(ERROR_INVALID_HANDLE));
    if (bytes.size() > m_sizeLimit - m_written) Fail(OutputTooLargeReason(m_sizeLimit));
    m_written += bytes.size();
    if (m_buffer.size() + bytes.size() > kBufferSize) Flush();
    if (bytes.size() >= kBufferSize) {
        m_buffer.assign(bytes);
        Flush();
    } else {
        m_buffer.append(bytes);
    }
}

void AtomicFile::Flush() {
    std::string_view rest = m_buffer;
    while (!rest.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(m_file.Get(), rest.data(), chunk, &written, nullptr)) Fail(LastWindowsReason());
        rest.remove_prefix(written);
    }
    m_buffer.clear();
}

void AtomicFile::SetTimes(const FILETIME& accessed, const FILETIME& modified) {
    m_accessed = accessed;
    m_modified = modified;
}

void AtomicFile::Publish() {
    // A page that cannot be published leaves nothing behind, not even its temporary file.
    try {
        if (!m_error.empty()) throw OutputError(m_error);
        Flush();
        // The time is set last: a write after it would move it again.
        if (m_modified && !::SetFileTime(m_file.Get(), nullptr, &*m_accessed, &*m_modified)) Fail(LastWindowsReason());
        if (m_sync && !::FlushFileBuffers(m_file.Get())) Fail(LastWindowsReason());
        m_file.Close();
        if (!::MoveFileExW(m_temporary.c_str(), m_target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            Fail(LastWindowsReason());
        }
    } catch (...) {
        Discard();
        throw;
    }
    m_temporary.clear();
}

void AtomicFile::Discard() noexcept {
    m_file.Close();
    if (!m_temporary.empty()) {
        ::DeleteFileW(m_temporary.c_str());
        m_temporary.clear();
    }
}

}  // namespace quernfold
