#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "Console.h"
#include "FaultInjector.h"
#include "Request.h"
#include "Responder.h"
#include "Statistics.h"

// What the simulator remembers about one peer (a TCP connection, the pseudo-terminal,
// one UDP sender): the last clean answer, for late answers, and when its last write
// is due, so that a delayed answer is never overtaken by a later one.
struct PeerMemory {
    std::vector<uint8_t> previousAnswer;
    WireProtocol previousProtocol = WireProtocol::ModbusRtu;
    std::chrono::steady_clock::time_point lastDue{};
};

// Bytes to write to the peer no earlier than `due`.
struct ScheduledWrite {
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::time_point due;
};

// Turns one request into the writes that answer it: the board's answer with the
// faults of the moment applied. Logs the request and every fault it applies.
class RequestHandler {
public:
    using Clock = std::chrono::steady_clock;

    RequestHandler(Responder &responder, FaultInjector &faults, const Console &console,
                   Statistics &statistics);

    // `stream` is true for TCP, where an answer can be split into two segments.
    // Returns no writes when the board stays silent.
    std::vector<ScheduledWrite> Handle(const Request &request, const std::string &where,
                                       bool stream, PeerMemory &peer, Clock::time_point now);

private:
    Responder &responder;
    FaultInjector &faults;
    const Console &console;
    Statistics &statistics;
};
