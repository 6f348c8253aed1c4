#pragma once

#include <ostream>
#include <string>

#include "cli/CliSettings.h"

// Reads vornak-cli's command line into `settings`. Returns -1 when the command is to run;
// otherwise the exit status: 0 after printing --help to `out`, 2 after printing a one-line
// message to `err` that says what to fix.
int ParseCommandLine(int argc, char** argv, CliSettings& settings, std::ostream& out,
                     std::ostream& err);
