#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Finds the serial ports of this machine that a user would pick from: USB adapters
// (ttyUSB, ttyACM), on-board and SoC UARTs, Bluetooth serial links (rfcomm), and ttyS
// entries only where a UART really stands behind them. Each candidate is kept only when
// an exclusive open succeeds right now. The places are parameters so that a test can
// point the scanner at a prepared tree.
class SerialPortScanner {
public:
    // sysClassTty: the kernel's list of terminals; devDir: where their device nodes are;
    // budgetMs: how long probing may take in all (a port whose open hangs is left out).
    explicit SerialPortScanner(std::string sysClassTty = "/sys/class/tty",
                               std::string devDir = "/dev", int32_t budgetMs = 2000);

    // Device paths (devDir + "/" + name) in natural order; empty when there are none.
    std::vector<std::string> List() const;

private:
    struct Candidate {
        std::string name;
        // The kernel gave no UART type for it, so the probe asks the port itself.
        bool askType = false;
    };

    std::vector<Candidate> Candidates() const;

    std::string sysClassTty;
    std::string devDir;
    int32_t budgetMs;
};
