// vornak-cli: the board from the command line, for scripts and production lines.
#include <iostream>

#include "cli/CliRunner.h"
#include "cli/CommandLine.h"
#include "cli/InterruptWatch.h"

int main(int argc, char** argv) {
    CliSettings settings;
    if (int status = ParseCommandLine(argc, argv, settings, std::cout, std::cerr); status >= 0)
        return status;
    InterruptWatch::Install();
    CliRunner runner(settings, std::cout, std::cerr);
    return runner.Run();
}
