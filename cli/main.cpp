#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "engine/platform/StandardStreams.h"

int main(int argc, char** argv) {
    quernfold::OpenClosedStandardStreams();
    // A file-size limit must show as a failed write of the page (or log), not kill the run.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that stops early (| head) must not kill the run: the log lines stop, the conversion goes on.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return quernfold::RunCli(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                             quernfold::CliEnvironment{.handleStopSignals = true});
}
