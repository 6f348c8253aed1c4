#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Request.h"
#include "RequestDecoder.h"

// Cuts a byte stream (a TCP connection, the pseudo-terminal, one datagram) into
// requests: several back to back, one in pieces, or garbage in between. Garbage is
// skipped until a request starts (or a whole request is found further on, which
// proves the bytes before it garbage); a partial request is kept at most
// RequestDecoder's maximum length, and one left alone for longer than kStaleAfter is
// dropped.
class StreamFramer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kStaleAfter{1000};

    explicit StreamFramer(const RequestDecoder &decoder);

    // Appends received bytes. Bytes still waiting from a partial request that came
    // more than kStaleAfter before `now` are discarded first (counted as discarded).
    void Append(const uint8_t *data, size_t length, Clock::time_point now);
    // Takes the next whole request into `out`; false when none is complete yet.
    bool Next(Request &out);
    // Bytes thrown away as garbage since the last call; resets the count.
    size_t TakeDiscarded();
    // Discards a partial request (counted as discarded): the end of a datagram.
    void DropPending();
    // Bytes of a partial request waiting for the rest.
    size_t Pending() const { return buffer.size() - start; }

private:
    void Compact();

    const RequestDecoder &decoder;
    std::vector<uint8_t> buffer;
    size_t start = 0;
    size_t discarded = 0;
    Clock::time_point lastAppend{};
    std::optional<WireProtocol> lastProtocol;
    bool atBoundary = true; // false while resynchronising after garbage
};
