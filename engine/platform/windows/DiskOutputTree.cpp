#include "engine/platform/windows/DiskOutputTree.h"

#include <windows.h>

#include "engine/log/LogLines.h"
#include "engine/platform/Disk.h"
#include "engine/platform/windows/AtomicFile.h"
#include "engine/platform/windows/SystemMessage.h"
#include "engine/platform/windows/WideText.h"
#include "engine/run/StopRequest.h"
#include "engine/text/Errors.h"

namespace quernfold {

namespace {

constexpr DWORD kHoldFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;  // no delete sharing: no rename, no removal

Handle OpenFolderHandle(const std::wstring& path, DWORD extraFlags) {
    return Handle(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kHoldFolder, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | extraFlags, nullptr));
}

void CopyThroughReads(SourceFile& source, AtomicFile& out, const std::atomic<bool>* stop) {
    std::string buffer(1 << 16, '\0');
    while (const std::size_t got = source.Read(buffer.data(), buffer.size())) {
        ThrowIfStopRequested(stop);
        out.Write(std::string_view(buffer.data(), got));
    }
}

}  // namespace

DiskOutputTree::DiskOutputTree(std::string outputRoot) : m_outputRoot(std::move(outputRoot)) {}

Handle DiskOutputTree::OpenChild(const std::string& folder, bool& made) {
    const std::optional<std::wstring> path = ExtendedPath(folder);
    if (!path) throw FileError(WindowsReason(ERROR_INVALID_NAME));
    if (::CreateDirectoryW(path->c_str(), nullptr)) {
        made = true;
    } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        throw FileError(LastWindowsReason());
    }
    // The reparse point itself is opened, never what it leads to, so a junction there is seen for what it is.
    Handle handle = OpenFolderHandle(*path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (!handle.Valid()) throw FileError(LastWindowsReason());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.Get(), &info)) throw FileError(LastWindowsReason());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) throw FileError(OutputFolderIsLinkReason(folder));
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) throw FileError(WindowsReason(ERROR_DIRECTORY));
    return handle;
}

void DiskOutputTree::OpenFolders(const OutputPathPlan& plan) {
    if (m_chain.empty()) {
        // The output root is the user's choice, so a link there is followed; a missing one fails each page.
        const std::optional<std::wstring> root = ExtendedPath(m_outputRoot.empty() ? "." : m_outputRoot);
        Handle handle = root ? OpenFolderHandle(*root, 0) : Handle();
        if (!handle.Valid()) throw OutputError(root ? LastWindowsReason() : WindowsReason(ERROR_INVALID_NAME));
        m_chain.push_back({m_outputRoot, std::move(handle)});
    }
    m_madeForLastPage.clear();
    for (std::size_t i = 0; i < plan.folders.size(); ++i) {
        const std::size_t depth = i + 1;
        if (depth < m_chain.size() && m_chain[depth].path == plan.folders[i]) continue;
        m_chain.resize(std::min(depth, m_chain.size()));
        bool made = false;
        Handle handle = OpenChild(plan.folders[i], made);
        m_chain.push_back({plan.folders[i], std::move(handle)});
        if (made) m_madeForLastPage.push_back(depth);
    }
    m_chain.resize(std::min(plan.folders.size() + 1, m_chain.size()));
}

std::unique_ptr<PageOutput> DiskOutputTree::Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) {
    OpenFolders(plan);
    return std::make_unique<AtomicFile>(plan.outputPath, sizeLimit);
}

CopyOutcome DiskOutputTree::Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) {
    OpenFolders(plan);
    const std::optional<std::uint64_t> size = source.Size();
    const std::optional<FileTimes> times = source.Times();
    const std::optional<std::wstring> target = ExtendedPath(plan.outputPath);
    if (!target) throw FileError(WindowsReason(ERROR_INVALID_NAME));
    const Handle existing(::CreateFileW(target->c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (existing.Valid()) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(existing.Get(), &info)) throw FileError(LastWindowsReason());
        if (rules.mayNotReplace && rules.mayNotReplace(IdOf(existing.Get()))) return CopyOutcome::NotReplaced;
        const bool regular = !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        const std::uint64_t existingSize = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        // Times compared at the 100 ns the file system keeps.
        if (regular && size && times && existingSize == *size &&
            NanosecondsOf(info.ftLastWriteTime) == NanosecondsOf(FileTimeOf(times->modifiedNs))) {
            return CopyOutcome::Unchanged;
        }
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        throw FileError(LastWindowsReason());
    }
    AtomicFile out(plan.outputPath);
    CopyThroughReads(source, out, rules.stopRequested);
    if (times) out.SetTimes(FileTimeOf(times->accessedNs), FileTimeOf(times->modifiedNs));
    out.Publish();
    return CopyOutcome::Copied;
}

void DiskOutputTree::RemoveFoldersMadeForLastPage() noexcept {
    for (auto depth = m_madeForLastPage.rbegin(); depth != m_madeForLastPage.rend(); ++depth) {
        if (*depth >= m_chain.size()) continue;
        const std::string folder = m_chain[*depth].path;
        m_chain.resize(*depth);
        if (const std::optional<std::wstring> path = ExtendedPath(folder)) ::RemoveDirectoryW(path->c_str());
    }
    m_madeForLastPage.clear();
}

std::unique_ptr<OutputTree> OpenOutputTreeOnDisk(std::string outputRoot) {
    return std::make_unique<DiskOutputTree>(std::move(outputRoot));
}

}  // namespace quernfold
