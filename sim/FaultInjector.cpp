#include "FaultInjector.h"

FaultInjector::FaultInjector(uint32_t seed) : seed(seed), generator(seed) {}

void FaultInjector::Reseed(uint32_t newSeed) {
    seed = newSeed;
    generator.seed(newSeed);
}

void FaultInjector::Silence(int ms, Clock::time_point now) {
    silentForever = ms < 0;
    silentUntil = ms < 0 ? Clock::time_point{} : now + std::chrono::milliseconds(ms);
}

void FaultInjector::CountAnswer() {
    if (answersLeft > 0 && --answersLeft == 0)
        silentForever = true;
}

void FaultInjector::Resume() {
    silentForever = false;
    answersLeft = 0;
    silentUntil = Clock::time_point{};
}

bool FaultInjector::IsSilent(Clock::time_point now) const {
    return silentForever || now < silentUntil;
}

void FaultInjector::Clear() {
    settings = FaultSettings{};
    silentAddresses.reset();
    Resume();
}

bool FaultInjector::Roll(int share) {
    // Certain outcomes draw no number, so switching a fault fully on or off does not
    // shift the sequence that the other faults see.
    if (share <= 0)
        return false;
    if (share >= 100)
        return true;
    return generator() % 100 < static_cast<uint32_t>(share);
}

FaultPlan FaultInjector::Plan(const Request &request, bool stream, bool datagram) {
    FaultPlan plan;
    const bool modbus = request.protocol != WireProtocol::Protocol55;
    plan.exception = modbus && settings.exceptionCode != 0 && Roll(settings.exceptionShare);
    plan.drop = Roll(settings.dropShare);
    if (plan.drop)
        return plan;
    plan.late = Roll(settings.lateShare);
    plan.corrupt = Roll(settings.corruptShare);
    plan.wrongId = request.protocol == WireProtocol::ModbusTcp && Roll(settings.wrongIdShare);
    if (settings.delayMs > 0 && Roll(settings.delayShare))
        plan.delayMs = settings.delayMs;
    plan.split = stream && Roll(settings.splitShare);
    plan.splitGapMs = settings.splitGapMs;
    if (Roll(settings.strayShare)) {
        // One to four bytes of noise, from the seeded generator like the other faults.
        plan.stray.resize(1 + generator() % 4);
        for (uint8_t &byte : plan.stray)
            byte = static_cast<uint8_t>(generator());
    }
    plan.stranger = datagram && Roll(settings.strangerShare);
    return plan;
}

void FaultInjector::Corrupt(std::vector<uint8_t> &answer, WireProtocol protocol) {
    if (answer.empty())
        return;
    switch (protocol) {
    case WireProtocol::ModbusRtu:
    case WireProtocol::Protocol55:
        answer.back() ^= 0x5A; // the last byte belongs to the CRC or is the checksum
        break;
    case WireProtocol::ModbusTcp:
        if (answer.size() >= 4)
            answer[3] ^= 0x01;
        break;
    }
}

void FaultInjector::ChangeTransactionId(std::vector<uint8_t> &answer) {
    if (answer.size() < 2)
        return;
    uint16_t id = static_cast<uint16_t>(answer[0] << 8 | answer[1]);
    ++id;
    answer[0] = static_cast<uint8_t>(id >> 8);
    answer[1] = static_cast<uint8_t>(id & 0xFF);
}
