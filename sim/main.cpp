// vornak-sim: a simulated relay and digital-input board for trying and testing Vornak.
#include <cstdio>

#include "Console.h"
#include "Options.h"
#include "Simulator.h"

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
    Simulator simulator(options);
    if (!simulator.Start())
        return 1;
    return simulator.Run();
}
