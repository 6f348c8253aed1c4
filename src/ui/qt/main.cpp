#include <cstdio>
#include <cstring>

#include "ui/qt/App.h"

int main(int argc, char** argv) {
    // The window takes no options; --help and --version answer before any display is needed,
    // so that a package check or a curious user does not get a window.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::puts(
                "usage: vornak\n"
                "The Vornak window: test a relay and digital-input board over Modbus RTU,\n"
                "Modbus TCP or the 0x55 relay protocol, on a serial port, TCP or UDP.\n"
                "Every setting is made in the window. See also vornak-cli(1), vornak-sim(1).");
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("vornak 1.0.0");
            return 0;
        }
    }
    App app(argc, argv);
    return app.Run();
}
