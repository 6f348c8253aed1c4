#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

// Shows how far a long command has come on standard error: done/total, the boards found
// so far and the time left. On a terminal one line is rewritten in place (at most five
// times a second); elsewhere a plain line is printed at each tenth of the work, so that a
// log stays short. Silent when quiet.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, std::string label, bool terminal, bool quiet);

    // Prints one line at once (the plan and the estimate before the work starts).
    void Say(const std::string& text);
    // After each step; found < 0 leaves the count of finds out.
    void Update(int64_t done, int64_t total, int64_t found = -1);
    // Ends a live line, so that what follows starts on a line of its own.
    void Finish();

    // "3 min 20 s", "45 s", "1 h 5 min".
    static std::string Duration(double seconds);

private:
    std::ostream& err;
    const std::string label;
    const bool terminal;
    const bool quiet;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastShown{};
    int64_t lastTenth = 0;
    bool liveLine = false;
};
