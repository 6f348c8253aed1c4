// vornak-sim.exe: the simulated board on Windows, over TCP and UDP, to try Vornak without a
// board.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "WinsockSimulator.h"

namespace {

const char kUsage[] =
    "usage: vornak-sim [--tcp PORT] [--udp PORT] [--bind IP] [--address LIST]\n"
    "                  [--coils HEX] [--inputs HEX|mirror] [--quiet]\n"
    "A simulated relay and digital-input board (32 coils, 32 inputs) answering Modbus RTU,\n"
    "Modbus TCP and the 0x55 relay protocol over TCP and UDP on 127.0.0.1. PORT 0 takes a\n"
    "free port; without --tcp and --udp both listen on 1502. Ctrl-C ends it.\n";

// A port 0..65535, or false.
bool Port(const char* text, int32_t& port) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int32_t>(value);
    return true;
}

bool Word(const char* text, uint32_t& word) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (end == text || *end != '\0' || value > 0xFFFFFFFFul)
        return false;
    word = static_cast<uint32_t>(value);
    return true;
}

bool Parse(int argc, char** argv, WinsockOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        bool good = true;
        if (option == "--tcp")
            good = Port(value, options.tcpPort);
        else if (option == "--udp")
            good = Port(value, options.udpPort);
        else if (option == "--bind")
            options.bindAddress = value;
        else if (option == "--address")
            good = ParseAddressList(value, options.addresses);
        else if (option == "--coils")
            good = Word(value, options.coils);
        else if (option == "--inputs" && std::strcmp(value, "mirror") == 0)
            options.inputMode = InputMode::Mirror;
        else if (option == "--inputs")
            good = Word(value, options.inputs);
        else {
            error = "unknown option " + option +
                    " (the Linux simulator's faults, serial line "
                    "and command channel are not available on Windows)";
            return false;
        }
        if (!good) {
            error = "bad value for " + option + ": " + value;
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    WinsockOptions options;
    std::string error;
    if (!Parse(argc, argv, options, error)) {
        std::fprintf(stderr, "vornak-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    WinsockSimulator simulator(options);
    if (!simulator.Start())
        return 1;
    return simulator.Run();
}
