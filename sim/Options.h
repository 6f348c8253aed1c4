#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Board.h"
#include "Request.h"

// Everything the command line sets.
struct Options {
    uint8_t address = 1;
    std::optional<WireProtocol> protocol; // nothing: recognised per request
    std::string bindAddress = "127.0.0.1";
    std::optional<uint16_t> tcpPort;
    std::optional<uint16_t> udpPort;
    bool pty = false;
    std::string linkPath;
    uint32_t coils = 0;
    uint32_t inputs = 0;
    InputMode inputMode = InputMode::Fixed;
    int walkMs = 500;
    std::optional<uint32_t> seed;
    bool quiet = false;
    bool help = false;
    std::vector<std::string> faultCommands; // run through the command interpreter at start

    // Listeners used when the command line names none.
    static constexpr uint16_t kDefaultPort = 1502;
};

// Parses the arguments argv[1..argc) into `options`.
// False with a message in `error` for an unknown option, a missing or bad value.
bool ParseOptions(int argc, char **argv, Options &options, std::string &error);
// The --help text.
std::string Usage();
