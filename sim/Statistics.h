#pragma once

#include <cstdint>
#include <string>

// Counters of what the simulator saw and did, printed by the `stats` command.
struct Statistics {
    uint64_t requests = 0; // whole requests recognised
    uint64_t answers = 0;  // answers scheduled for sending (late ones included)
    uint64_t ignored = 0;  // requests not answered: other address, broadcast, unknown
    uint64_t silenced = 0; // requests that met a silent board
    uint64_t dropped = 0;
    uint64_t corrupted = 0;
    uint64_t delayed = 0;
    uint64_t split = 0;
    uint64_t late = 0;
    uint64_t wrongId = 0;
    uint64_t exceptions = 0; // exception answers forced by the exception fault
    uint64_t discardedBytes = 0;
    uint64_t chunked = 0; // answers sent in pieces by the chunks setting
    uint64_t stray = 0;  // answers followed by junk bytes
    uint64_t strangers = 0; // UDP answers that another host's answer came before
    uint64_t echoed = 0;     // requests handed back by an echoing line
    uint64_t duplicated = 0; // UDP answers sent twice

    // "requests=12 answers=11 ..." in the order of the fields.
    std::string ToLine() const;
};
