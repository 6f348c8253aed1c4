#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "PeerAddress.h"
#include "RequestHandler.h"

// One write waiting for its time: to a channel (a TCP connection, the pseudo-terminal,
// the UDP socket) and, for UDP, to a peer.
struct Delivery {
    int channel = 0;
    sockaddr_in peer{};
    std::vector<uint8_t> bytes;
};

// The answers scheduled for later, in the order of their due time; writes due at the
// same moment keep the order in which they were added.
class Outbox {
public:
    using Clock = std::chrono::steady_clock;

    void Add(int channel, const sockaddr_in& peer, ScheduledWrite write);
    // The earliest due time, or nothing when empty.
    std::optional<Clock::time_point> NextDue() const;
    // Removes and returns every write due at `now` or before, earliest first.
    std::vector<Delivery> TakeDue(Clock::time_point now);
    // Forgets the writes for a channel that has gone away.
    void DropChannel(int channel);

private:
    std::multimap<Clock::time_point, Delivery> pending;
};
