#pragma once

#include <atomic>

// Turns Ctrl-C (SIGINT) and SIGTERM into a flag that long commands check between steps, so
// that they end cleanly (coils restored) instead of dying mid-transaction, and raises the
// calling thread's cancel signal, so that the wait under way ends at once.
class InterruptWatch {
public:
    // Installs the handlers and makes the signal the calling thread's; false when the system
    // refused.
    static bool Install();
    static const std::atomic<bool>& Flag();
    // Lowers the cancel signal again (the flag stays), so that what follows an interrupted
    // wait (restoring the coils) runs with normal waits; another interrupt ends those too.
    static void Resume();
    // Waits up to ms milliseconds; true as soon as an interrupt has come.
    static bool WaitFor(int ms);
};
