#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "AnswerPacing.h"
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

// The kind of line a request came over, which decides how its answer can be cut up.
enum class Link { Tcp, Udp, Pty };

// Turns one request into the writes that answer it: the board's answer with the
// faults of the moment applied. Logs the request and every fault it applies.
class RequestHandler {
public:
    using Clock = std::chrono::steady_clock;

    RequestHandler(Responder &responder, FaultInjector &faults, const Console &console,
                   Statistics &statistics);

    // Returns no writes when the board stays silent and the line does not echo. Only TCP
    // answers are split by the split fault, only pty answers are paced by the baud rate,
    // only UDP answers are doubled.
    std::vector<ScheduledWrite> Handle(const Request &request, const std::string &where,
                                       Link link, PeerMemory &peer, Clock::time_point now);

private:
    // The board's own answer, without what the line adds.
    std::vector<ScheduledWrite> Answer(const Request &request, const std::string &where,
                                       Link link, PeerMemory &peer, Clock::time_point now);

    Responder &responder;
    FaultInjector &faults;
    const Console &console;
    Statistics &statistics;
};
