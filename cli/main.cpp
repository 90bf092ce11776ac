#include <iostream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "engine/platform/StandardStreams.h"

int main(int argc, char** argv) {
    quernfold::OpenClosedStandardStreams();
    quernfold::KeepRunningOnFailedWrites();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return quernfold::RunCli(args, std::cout, std::cerr, quernfold::IsTerminal(quernfold::StandardStream::Error),
                             quernfold::CliEnvironment{.handleStopSignals = true});
}
