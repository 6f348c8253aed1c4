// vornak-sim: a simulated relay and digital-input board for trying and testing Vornak.
#include <cstdio>

#include "Console.h"
#include "ControlClient.h"
#include "Options.h"
#include "Simulator.h"

namespace {
// Long enough for a loaded machine; every command is answered at once.
constexpr int kSendTimeoutMs = 5000;
} // namespace

int main(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        Console::Error(error + " (see --help)");
        return 2;
    }
    if (options.help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (!options.sendCommands.empty()) {
        const std::string path =
            options.controlPath.empty() ? Options::kDefaultControlPath : options.controlPath;
        return ControlClient::Send(path, options.sendCommands, kSendTimeoutMs);
    }
    Simulator simulator(options);
    if (!simulator.Start())
        return 1;
    return simulator.Run();
}
