#pragma once

#include <chrono>
#include <string>

#include "Board.h"
#include "FaultInjector.h"
#include "Statistics.h"

// Carries out the commands typed on standard input (the fault options are the same
// commands). Every command answers with one line that starts with OK, ERR, STATE or
// STATS, so that a driving program can wait for it.
class CommandInterpreter {
public:
    using Clock = std::chrono::steady_clock;

    struct Outcome {
        bool ok = false;
        bool quit = false;
        std::string reply;            // the answer line(s), without the final newline
        bool dropConnections = false; // a reset that drops the TCP connections
    };

    CommandInterpreter(Board &board, FaultInjector &faults, const Statistics &statistics);

    // One command line; blank lines and lines starting with '#' are not commands
    // (ok, empty reply).
    Outcome Execute(const std::string &line, Clock::time_point now);
    // The command summary printed by `help` and by --help.
    static std::string Help();
    // "STATE coils=<32 digits> inputs=<32 digits>", point 0 first.
    std::string StateLine() const;

private:
    Board &board;
    FaultInjector &faults;
    const Statistics &statistics;
};
