#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// Bytes to write to the peer no earlier than `due`.
struct ScheduledWrite {
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::time_point due;
    bool fromStranger = false; // UDP: sent from another host's address
};

// How an answer leaves the board, as field hardware and gateways send it.
struct Pacing {
    int pieces = 1; // cut into this many pieces (at most one per byte)...
    int gapMs = 0;  // ...this far apart
    int baud = 0;   // each byte takes 10 bits of wire time at this rate; 0: no wire time
};

// The writes that put `answer` and then `stray` on the line from `start`: one write per
// piece, or per byte when a baud rate paces them (due when the byte's last bit is through).
// The stray bytes follow the answer's last byte as one more write (paced the same way).
// Nothing for an empty answer.
std::vector<ScheduledWrite> PaceAnswer(const std::vector<uint8_t> &answer,
                                       const std::vector<uint8_t> &stray, const Pacing &pacing,
                                       std::chrono::steady_clock::time_point start);
