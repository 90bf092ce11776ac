#include "engine/platform/posix/AssetCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>

#include "engine/text/Errors.h"
#include "engine/platform/posix/OutputFile.h"
#include "engine/run/StopRequest.h"

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
void CopyThroughReads(SourceFile& source, OutputFile& out, const std::atomic<bool>* stop) {
    char buffer[1 << 16];
    while (const std::size_t got = source.Read(buffer, sizeof buffer)) {
        ThrowIfStopRequested(stop);
        out.Write(std::string_view(buffer, got));
    }
}

// The step of modification times the file system under folderFd keeps, in nanoseconds (1 where it keeps them
// all, 10^9 where it keeps whole seconds), as a time set on a file there reads back. Asked once per device.
std::int64_t TimeStepOf(int folderFd, dev_t device) {
    thread_local std::unordered_map<dev_t, std::int64_t> known;
    if (const auto found = known.find(device); found != known.end()) return found->second;
    std::int64_t step = 1;
    const int fd = ::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        constexpr long kProbe = kNanosecondsPerSecond - 1;
        const struct timespec probe[2] = {{kNanosecondsPerSecond, kProbe}, {kNanosecondsPerSecond, kProbe}};
        struct stat back {};
        if (::futimens(fd, probe) == 0 && ::fstat(fd, &back) == 0 && back.st_mtim.tv_nsec <= kProbe) {
            step = kProbe - back.st_mtim.tv_nsec + 1;
        }
        ::close(fd);
    }
    known.emplace(device, step);
    return step;
}

// Whether a file modified at existingNs is a copy made of one modified at sourceNs, on a file system that keeps
// times in steps of step nanoseconds.
bool SameTime(std::int64_t existingNs, std::int64_t sourceNs, std::int64_t step) {
    if (existingNs == sourceNs) return true;
    if (step <= 1) return false;
    const std::int64_t remainder = ((sourceNs % step) + step) % step;
    return existingNs == sourceNs - remainder;
}

}  // namespace

CopyOutcome CopyIntoFolder(int folderFd, const std::string& name, const std::string& displayPath, SourceFile& source,
                           const CopyRules& rules) {
    const std::optional<std::uint64_t> size = source.Size();
    const std::optional<FileTimes> times = source.Times();
    struct stat existing {};
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        const FileId id{static_cast<std::uint64_t>(existing.st_dev), existing.st_ino};
        if (rules.mayNotReplace && rules.mayNotReplace(id)) return CopyOutcome::NotReplaced;
        if (S_ISREG(existing.st_mode) && size && times && static_cast<std::uint64_t>(existing.st_size) == *size &&
            SameTime(Nanoseconds(existing.st_mtim), times->modifiedNs,
                     Nanoseconds(existing.st_mtim) == times->modifiedNs ? 1 : TimeStepOf(folderFd, existing.st_dev))) {
            return CopyOutcome::Unchanged;
        }
    } else if (errno != ENOENT) {
        throw FileError(SystemReason(errno));
    }

    OutputFile out(folderFd, name, displayPath, WritePolicy{});
    if (const std::intptr_t fd = source.NativeHandle(); fd >= 0 && size) {
        out.CopyFrom(static_cast<int>(fd), *size, rules.stopRequested);
    } else {
        CopyThroughReads(source, out, rules.stopRequested);
    }
    if (times) {
        const struct timespec kept[2] = {TimeSpec(times->accessedNs), TimeSpec(times->modifiedNs)};
        out.SetTimes(kept);
    }
    out.Publish();
    return CopyOutcome::Copied;
}

}  // namespace quernfold
