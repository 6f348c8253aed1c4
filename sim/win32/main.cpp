// vornak-sim.exe: the simulated board on Windows, over TCP and UDP, to try and test Vornak
// without a board; the Linux simulator's options, faults and commands but its serial line and
// control socket.
#include <cstdio>

#include "Console.h"
#include "Options.h"
#include "WinsockSimulator.h"

int main(int argc, char** argv) {
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
    WinsockSimulator simulator(options);
    if (!simulator.Start())
        return 1;
    return simulator.Run();
}
