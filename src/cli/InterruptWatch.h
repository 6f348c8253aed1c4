#pragma once

#include <atomic>

// Turns Ctrl-C (SIGINT) and SIGTERM into a flag that long commands check between steps, so
// that they end cleanly (coils restored) instead of dying mid-transaction; and tells when
// the reader of standard output has gone, so that `poll | head -1` ends at once.
class InterruptWatch {
public:
    // Installs the handlers and ignores SIGPIPE (a closed output shows as a write error);
    // false when the system refused.
    static bool Install();
    static const std::atomic<bool>& Flag();
    // The flag, or an interrupt under way that has already called off the wait in progress.
    static bool Interrupted();
    // Lowers the cancel signal that an interrupt raises (the flag stays), so that what
    // follows an interrupted wait (restoring the coils) runs with normal waits. Waits first
    // (bounded) for an interrupt still being delivered, so that no raise comes after it.
    static void Resume();
    // Waits up to ms milliseconds; true as soon as an interrupt has come or standard
    // output's reader has gone.
    static bool WaitFor(int ms);
    // True when standard output is a pipe or socket whose reader has closed it.
    static bool OutputGone();
    // True when standard error is a terminal (a live progress line fits there).
    static bool ErrorIsTerminal();
};
