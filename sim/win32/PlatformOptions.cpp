#include "PlatformOptions.h"

#include <CLI/CLI.hpp>

namespace PlatformOptions {

std::string Description() {
    return "A simulated relay and digital-input board (32 coils, 32 discrete inputs) that\n"
           "answers Modbus RTU, Modbus TCP and the 0x55 relay protocol, recognised per\n"
           "request, over TCP and UDP.";
}

std::string StartFooter() {
    return "At start it prints one line per listener (LISTEN tcp ADDRESS:PORT, LISTEN udp\n"
           "ADDRESS:PORT), SEED N and READY. Ctrl-C ends it. Commands come on standard\n"
           "input; each is answered by one line starting with OK, ERR, STATE or STATS.\n";
}

std::string DefaultListeners() {
    return "TCP and UDP port 1502";
}

void Declare(CLI::App&, Options&, std::string&, const std::string&) {
    // The serial line and the control socket are Linux's.
}

void DeclareCommands(CLI::App&, Options&) {
    // Commands come on standard input only: there is no control socket to send them to.
}

void Finish(Options& options, const std::string&) {
    if (!options.tcpPort && !options.udpPort) {
        options.tcpPort = Options::kDefaultPort;
        options.udpPort = Options::kDefaultPort;
    }
}

} // namespace PlatformOptions
