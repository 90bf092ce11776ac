#include "engine/platform/posix/DiskOutputTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/platform/posix/AssetCopier.h"
#include "engine/text/Errors.h"
#include "engine/log/LogLines.h"
#include "engine/platform/posix/OutputFile.h"
#include "engine/platform/Disk.h"

namespace quernfold {

namespace {

std::string LastSegment(const std::string& path) {
    const auto slash = path.rfind(kNativeSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

DiskOutputTree::DiskOutputTree(std::string outputRoot) : m_outputRoot(std::move(outputRoot)) {}

DiskOutputTree::~DiskOutputTree() {
    CloseFrom(0);
    if (m_aheadFd >= 0) ::close(m_aheadFd);
}

void DiskOutputTree::CloseFrom(std::size_t depth) {
    for (std::size_t i = depth; i < m_chain.size(); ++i) ::close(m_chain[i].fd);
    m_chain.resize(std::min(depth, m_chain.size()));
}

int DiskOutputTree::OpenChild(int parentFd, const std::string& folder, bool& made) {
    const std::string name = LastSegment(folder);
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parentFd, name.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parentFd, name.c_str(), 0777) == 0) {
            made = true;
        } else if (errno != EEXIST) {
            throw FileError(SystemReason(errno));
        }
        fd = ::openat(parentFd, name.c_str(), kFlags);
    }
    if (fd >= 0) return fd;
    const int error = errno;
    struct stat info {};
    if (error == ELOOP || (::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)))
        throw FileError(OutputFolderIsLinkReason(folder));
    throw FileError(SystemReason(error));
}

std::unique_ptr<PageOutput> DiskOutputTree::Create(const OutputPathPlan& plan, std::uint64_t sizeLimit) {
    const int folderFd = OpenFolders(plan);
    return std::make_unique<OutputFile>(folderFd, LastSegment(plan.outputPath), plan.outputPath,
                                        WritePolicy::Page(sizeLimit));
}

std::unique_ptr<PageOutput> DiskOutputTree::WriteAhead(std::string_view bytes) {
    std::call_once(m_aheadOpened, [this] {
        m_aheadFd = ::open(m_outputRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    if (m_aheadFd < 0) return nullptr;  // the page is written in its turn, which reports why it cannot be
    auto file = std::make_unique<OutputFile>(OutputFile::Ahead{}, m_aheadFd);
    file->Write(bytes);
    return file;
}

std::unique_ptr<PageOutput> DiskOutputTree::Place(std::unique_ptr<PageOutput> ahead, const OutputPathPlan& plan) {
    auto* file = dynamic_cast<OutputFile*>(ahead.get());
    if (file == nullptr) throw OutputError("no file was written ahead");
    const int folderFd = OpenFolders(plan);
    OpenFolder& folder = m_chain.back();
    if (!folder.device) {
        struct stat info {};
        if (::fstat(folderFd, &info) != 0) throw OutputError(SystemReason(errno));
        folder.device = static_cast<std::uint64_t>(info.st_dev);
    }
    // A file is linked only within its file system: below a mount point the page is written where it goes.
    if (*folder.device != file->Id().device) throw OutputError(SystemReason(EXDEV));
    file->MoveTo(folderFd, LastSegment(plan.outputPath), plan.outputPath);
    return ahead;
}

CopyOutcome DiskOutputTree::Copy(const OutputPathPlan& plan, SourceFile& source, const CopyRules& rules) {
    const int folderFd = OpenFolders(plan);
    return CopyIntoFolder(folderFd, LastSegment(plan.outputPath), plan.outputPath, source, rules);
}

int DiskOutputTree::OpenFolders(const OutputPathPlan& plan) {
    if (m_chain.empty()) {
        // The output root is the user's choice, so a link there is followed; a missing one fails each page.
        const int fd = ::open(m_outputRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) throw OutputError(SystemReason(errno));
        m_chain.push_back({m_outputRoot, fd, std::nullopt});
    }
    m_madeForLastPage.clear();
    for (std::size_t i = 0; i < plan.folders.size(); ++i) {
        const std::size_t depth = i + 1;
        if (depth < m_chain.size() && m_chain[depth].path == plan.folders[i]) continue;
        CloseFrom(depth);
        bool made = false;
        const int fd = OpenChild(m_chain[depth - 1].fd, plan.folders[i], made);
        m_chain.push_back({plan.folders[i], fd, std::nullopt});
        if (made) m_madeForLastPage.push_back(depth);
    }
    CloseFrom(plan.folders.size() + 1);
    return m_chain.back().fd;
}

void DiskOutputTree::RemoveFoldersMadeForLastPage() noexcept {
    for (auto depth = m_madeForLastPage.rbegin(); depth != m_madeForLastPage.rend(); ++depth) {
        if (*depth >= m_chain.size()) continue;
        const std::string name = LastSegment(m_chain[*depth].path);
        CloseFrom(*depth);
        ::unlinkat(m_chain[*depth - 1].fd, name.c_str(), AT_REMOVEDIR);
    }
    m_madeForLastPage.clear();
}

std::unique_ptr<OutputTree> OpenOutputTreeOnDisk(std::string outputRoot) {
    return std::make_unique<DiskOutputTree>(std::move(outputRoot));
}

}  // namespace quernfold
