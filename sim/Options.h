#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AddressList.h"
#include "Board.h"
#include "LineSettings.h"
#include "Request.h"

// Everything the command line sets.
struct Options {
    AddressSet addresses = AddressSet().set(1);
    std::optional<WireProtocol> protocol; // nothing: recognised per request
    std::string bindAddress = "127.0.0.1";
    std::optional<uint16_t> tcpPort;
    std::optional<uint16_t> udpPort;
    bool pty = false;
    std::string linkPath;
    std::optional<LineSettings> line; // the pty serves a tool set to these only
    uint32_t coils = 0;
    uint32_t inputs = 0;
    InputMode inputMode = InputMode::Fixed;
    int walkMs = 500;
    int points = Board::kPoints;
    int followMs = 0;      // --inputs mirror: an input follows its coil this much later
    uint32_t bouncing = 0; // bit k: input k bounces when it changes
    int bounceMs = 10;     // time between two toggles of a bounce
    std::optional<uint32_t> seed;
    bool quiet = false;
    bool help = false;
    std::vector<std::string> faultCommands; // run through the command interpreter at start
    std::string controlPath;                // the command socket; empty: none
    std::vector<std::string> sendCommands;  // --send: hand these to a running simulator

    // Listeners used when the command line names none.
    static constexpr uint16_t kDefaultPort = 1502;
    // Where --send looks for a simulator when --control names no other path.
    static constexpr const char *kDefaultControlPath = "/tmp/vornak-sim.ctl";
};

// Parses the arguments argv[1..argc) into `options`.
// False with a message in `error` for an unknown option, a missing or bad value.
bool ParseOptions(int argc, char **argv, Options &options, std::string &error);
// The --help text.
std::string Usage();
