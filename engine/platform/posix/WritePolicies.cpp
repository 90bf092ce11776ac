#include <fcntl.h>

#include <string>
#include <string_view>

#include "engine/platform/AtomicFile.h"

namespace quernfold {

WritePolicy WritePolicy::LogFile() {
    WritePolicy policy;
    policy.link = LinkAtTarget::Follow;  // a link to a regular file stays a link; the file it leads to is replaced
    policy.inPlaceIfNotRegular = true;   // a FIFO, a terminal, a device
    policy.throughOpenDescriptor = true;
    return policy;
}

int StandardDescriptorOf(const std::string& path) {
    std::string_view number;
    if (path == "/dev/stdout") {
        number = "1";
    } else if (path == "/dev/stderr") {
        number = "2";
    } else if (path.starts_with("/dev/fd/")) {
        number = std::string_view(path).substr(8);
    } else if (path.starts_with("/proc/self/fd/")) {
        number = std::string_view(path).substr(14);
    }
    if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string_view::npos) {
        return -1;
    }
    const int fd = std::stoi(std::string(number));
    return ::fcntl(fd, F_GETFD) == -1 ? -1 : fd;
}

WritePolicy WritePolicy::Settings() {
    WritePolicy policy;
    policy.link = LinkAtTarget::Follow;
    policy.keepMode = true;
    policy.sync = true;
    policy.leaveUnwritableTarget = true;
    policy.inPlaceIfFolderReadOnly = true;
    return policy;
}

}  // namespace quernfold
