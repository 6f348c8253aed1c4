#pragma once

#include <atomic>

// Turns Ctrl-C (SIGINT) and SIGTERM into a flag that long commands check between steps, so
// that they end cleanly (coils restored) instead of dying mid-transaction.
class InterruptWatch {
public:
    // Installs the handlers; false when the system refused.
    static bool Install();
    static const std::atomic<bool>& Flag();
    // Waits up to ms milliseconds; true as soon as an interrupt has come.
    static bool WaitFor(int ms);
};
