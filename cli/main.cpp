#include <iostream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "engine/platform/StandardStreams.h"

int main(int argc, char** argv) {
    quernfold::OpenClosedStandardStreams();
    quernfold::KeepRunningOnFailedWrites();
    quernfold::UseUtf8StandardStreams();
    const std::vector<std::string> args = quernfold::ProgramArguments(argc, argv);
    return quernfold::RunCli(args, std::cout, std::cerr, quernfold::IsTerminal(quernfold::StandardStream::Error),
                             quernfold::CliEnvironment{
                                 .handleStopSignals = true,
                                 .stdoutClosedAtStart = quernfold::WasClosedAtStart(quernfold::StandardStream::Output),
                                 .outIsStandardOutput = true});
}
