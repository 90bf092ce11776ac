#include "engine/platform/StandardStreams.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace quernfold {

namespace {

bool g_closedAtStart[3] = {false, false, false};

}  // namespace

void OpenClosedStandardStreams() noexcept {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        g_closedAtStart[fd] = true;
        // The lowest free descriptor is fd itself, since the ones below it are open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

namespace {

int DescriptorOf(StandardStream stream) {
    switch (stream) {
    case StandardStream::Input:
        return STDIN_FILENO;
    case StandardStream::Output:
        return STDOUT_FILENO;
    case StandardStream::Error:
        break;
    }
    return STDERR_FILENO;
}

}  // namespace

bool WasClosedAtStart(StandardStream stream) noexcept {
    return g_closedAtStart[DescriptorOf(stream)];
}

bool ReaderIsGone(StandardStream stream) noexcept {
    // A pipe's writing end reports POLLERR once the reading end is closed; a socket's, POLLHUP.
    pollfd descriptor{DescriptorOf(stream), 0, 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & (POLLERR | POLLHUP)) != 0;
}

bool IsTerminal(StandardStream stream) noexcept {
    return ::isatty(DescriptorOf(stream)) == 1;
}

int TerminalColumns(StandardStream stream) noexcept {
    winsize size{};
    if (::ioctl(DescriptorOf(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        char* end = nullptr;
        const long value = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && value > 0 && value < 10000) return static_cast<int>(value);
    }
    return 80;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8StandardStreams() {}

void KeepRunningOnFailedWrites() noexcept {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace quernfold
