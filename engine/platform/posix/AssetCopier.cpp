#include "engine/platform/posix/AssetCopier.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "engine/text/Errors.h"
#include "engine/platform/posix/OutputFile.h"

namespace quernfold {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

std::int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * kNanosecondsPerSecond + time.tv_nsec;
}

struct timespec TimeSpec(std::int64_t nanoseconds) {
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(nanoseconds / kNanosecondsPerSecond);
    time.tv_nsec = static_cast<long>(nanoseconds % kNanosecondsPerSecond);
    if (time.tv_nsec < 0) {
        time.tv_nsec += kNanosecondsPerSecond;
        --time.tv_sec;
    }
    return time;
}

// A source without a descriptor of its own (served from memory) is copied through its reads.
void CopyThroughReads(SourceFile& source, OutputFile& out) {
    char buffer[1 << 16];
    while (const std::size_t got = source.Read(buffer, sizeof buffer)) out.Write(std::string_view(buffer, got));
}

}  // namespace

CopyOutcome CopyIntoFolder(int folderFd, const std::string& name, const std::string& displayPath, SourceFile& source,
                           const std::function<bool(const FileId&)>& isReadByRun) {
    const std::optional<std::uint64_t> size = source.Size();
    const std::optional<FileTimes> times = source.Times();
    struct stat existing {};
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        const FileId id{static_cast<std::uint64_t>(existing.st_dev), existing.st_ino};
        if (S_ISREG(existing.st_mode) && size && times && static_cast<std::uint64_t>(existing.st_size) == *size &&
            Nanoseconds(existing.st_mtim) == times->modifiedNs) {
            return CopyOutcome::Unchanged;
        }
        if (isReadByRun && isReadByRun(id)) {
            throw FileError("the output file " + displayPath + " is a file this run reads; it is not replaced");
        }
    } else if (errno != ENOENT) {
        throw FileError(SystemReason(errno));
    }

    OutputFile out(folderFd, name, displayPath, WritePolicy{});
    if (const std::intptr_t fd = source.NativeHandle(); fd >= 0) {
        out.CopyFrom(static_cast<int>(fd));
    } else {
        CopyThroughReads(source, out);
    }
    if (times) {
        const struct timespec kept[2] = {TimeSpec(times->accessedNs), TimeSpec(times->modifiedNs)};
        out.SetTimes(kept);
    }
    out.Publish();
    return CopyOutcome::Copied;
}

}  // namespace quernfold
