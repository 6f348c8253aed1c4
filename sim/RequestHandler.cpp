#include "RequestHandler.h"

#include <algorithm>

RequestHandler::RequestHandler(Responder &responder, FaultInjector &faults, const Console &console,
                               Statistics &statistics)
    : responder(responder), faults(faults), console(console), statistics(statistics) {}

std::vector<ScheduledWrite> RequestHandler::Handle(const Request &request, const std::string &where,
                                                   Link link, PeerMemory &peer,
                                                   Clock::time_point now) {
    const FaultSettings &settings = faults.Settings();
    std::vector<ScheduledWrite> writes;
    // The adapter hands the request back whether the board is there or not.
    if (settings.echo) {
        ++statistics.echoed;
        writes.push_back({request.frame, now, false});
    }
    for (ScheduledWrite &write : Answer(request, where, link, peer, now)) {
        ScheduledWrite copy{write.bytes, write.due + std::chrono::milliseconds(settings.duplicateMs),
                            false};
        const bool twice = link == Link::Udp && settings.duplicateMs > 0 && !write.fromStranger;
        writes.push_back(std::move(write));
        // A gateway that sends every datagram twice.
        if (twice) {
            ++statistics.duplicated;
            writes.push_back(std::move(copy));
        }
    }
    return writes;
}

std::vector<ScheduledWrite> RequestHandler::Answer(const Request &request, const std::string &where,
                                                   Link link, PeerMemory &peer,
                                                   Clock::time_point now) {
    ++statistics.requests;
    console.Traffic(where, "RX", request.frame);

    // A silent board is away: it neither answers nor carries out the request.
    if (faults.IsSilent(now)) {
        ++statistics.silenced;
        console.Note(where, "silent, no answer");
        return {};
    }
    if (faults.IsSilentAddress(request.address) && responder.IsAddressed(request)) {
        ++statistics.silenced;
        console.Note(where, "silent at address " + std::to_string(request.address));
        return {};
    }

    const FaultSettings &settings = faults.Settings();
    const FaultPlan plan = faults.Plan(request, link == Link::Tcp, link == Link::Udp);
    Response response;
    if (plan.exception) {
        response = responder.HandleWithException(
            request, static_cast<uint8_t>(faults.Settings().exceptionCode));
        if (response.answered) {
            ++statistics.exceptions;
            console.Note(where,
                         "fault: exception " + std::to_string(faults.Settings().exceptionCode));
        }
    }
    if (!response.answered)
        response = responder.Handle(request);
    if (!response.answered) {
        ++statistics.ignored;
        console.Note(where, "no answer (" + response.silentReason + ")");
        return {};
    }

    std::vector<uint8_t> clean = response.bytes;
    std::vector<uint8_t> bytes = clean;
    WireProtocol protocol = request.protocol;
    const bool hadPrevious = !peer.previousAnswer.empty();
    if (plan.late && !plan.drop) {
        bytes = peer.previousAnswer;
        protocol = peer.previousProtocol;
    }
    peer.previousAnswer = std::move(clean);
    peer.previousProtocol = request.protocol;

    if (plan.drop) {
        ++statistics.dropped;
        console.Note(where, "fault: answer dropped");
        return {};
    }
    if (plan.late) {
        ++statistics.late;
        if (!hadPrevious) {
            console.Note(where, "fault: late answer, but no earlier answer to send");
            return {};
        }
        console.Note(where, "fault: late, sending the previous request's answer");
    }
    if (plan.corrupt) {
        ++statistics.corrupted;
        FaultInjector::Corrupt(bytes, protocol);
        console.Note(where, "fault: answer corrupted");
    }
    if (plan.wrongId && protocol == WireProtocol::ModbusTcp) {
        ++statistics.wrongId;
        FaultInjector::ChangeTransactionId(bytes);
        console.Note(where, "fault: wrong transaction id");
    }

    // An answer starts after the board's turnaround and never before the one before it
    // has left (on a serial line: its last byte is through).
    const Clock::time_point due = std::max(
        now + std::chrono::milliseconds(settings.turnaroundMs + plan.delayMs), peer.lastDue);
    if (plan.delayMs > 0) {
        ++statistics.delayed;
        console.Note(where, "fault: answer delayed " + std::to_string(plan.delayMs) + " ms");
    }
    ++statistics.answers;
    faults.CountAnswer();

    Pacing pacing;
    if (link == Link::Pty)
        pacing.baud = settings.baud;
    if (settings.chunks > 1 && bytes.size() >= 2) {
        ++statistics.chunked;
        pacing.pieces = settings.chunks;
        pacing.gapMs = settings.chunkGapMs;
    } else if (plan.split && bytes.size() >= 2) {
        ++statistics.split;
        console.Note(where, "fault: answer split in two segments");
        pacing.pieces = 2;
        pacing.gapMs = plan.splitGapMs;
    }
    if (!plan.stray.empty()) {
        ++statistics.stray;
        console.Note(where, "fault: " + std::to_string(plan.stray.size()) +
                                " stray bytes after the answer");
    }
    std::vector<ScheduledWrite> writes;
    if (plan.stranger) {
        // Another host answers first, well-formed, with the opposite states.
        Response impostor = responder.Impostor(request);
        if (impostor.answered) {
            ++statistics.strangers;
            console.Note(where, "fault: a stranger answers first");
            writes.push_back({std::move(impostor.bytes), now, true});
        }
    }
    for (ScheduledWrite &write : PaceAnswer(bytes, plan.stray, pacing, due))
        writes.push_back(std::move(write));
    peer.lastDue = writes.back().due;
    return writes;
}
