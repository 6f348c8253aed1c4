#pragma once

#include <bitset>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Request.h"

// The faults in force. A share is a percentage 0..100 of the answers it applies to.
struct FaultSettings {
    int dropShare = 0;        // answers not sent at all
    int corruptShare = 0;     // answers with a broken check (CRC, checksum, MBAP protocol id)
    int delayMs = 0;          // answers sent this much later...
    int delayShare = 100;     // ...this share of them
    int splitShare = 0;       // TCP answers sent in two segments...
    int splitGapMs = 50;      // ...this far apart
    int exceptionCode = 0;    // Modbus requests answered with this exception (0: off)...
    int exceptionShare = 100; // ...this share of them
    int wrongIdShare = 0;     // Modbus TCP answers with another transaction identifier
    int lateShare = 0;        // requests answered with the previous request's answer
    // Field hardware, for every answer:
    int turnaroundMs = 0; // time from a request to the start of its answer
    int baud = 0;         // pty answers leave at this rate, 10 bits a byte (0: at once)
    int chunks = 1;       // answers go out in this many pieces (datagrams over UDP)...
    int chunkGapMs = 20;  // ...this far apart
    int strayShare = 0;   // answers followed by a few junk bytes
    int strangerShare = 0; // UDP answers that another host's answer comes before
    bool echo = false;     // the line hands every request back at once (an echoing adapter)
    int duplicateMs = 0;   // UDP answers sent a second time this much later (0: once)
    int idleCloseMs = 0;   // TCP connections without a request this long are closed (0: never)
};

// What happens to one answer, decided before it is sent.
struct FaultPlan {
    bool exception = false;
    bool drop = false;
    bool late = false;
    bool corrupt = false;
    bool wrongId = false;
    bool split = false;
    int delayMs = 0;
    int splitGapMs = 0;
    std::vector<uint8_t> stray; // junk that follows the answer; empty: none
    bool stranger = false;
};

// Decides, with a seeded generator, which faults hit each answer, and keeps the
// silence window. The same seed and the same requests give the same faults.
class FaultInjector {
public:
    using Clock = std::chrono::steady_clock;

    explicit FaultInjector(uint32_t seed);

    FaultSettings &Settings() { return settings; }
    const FaultSettings &Settings() const { return settings; }
    // Restarts the generator.
    void Reseed(uint32_t seed);
    uint32_t Seed() const { return seed; }

    // Silent for `ms` from `now`; a negative value means until Resume().
    void Silence(int ms, Clock::time_point now);
    void Resume();
    bool IsSilent(Clock::time_point now) const;
    // Answers `count` more requests, then is silent until Resume(); 0: never falls silent.
    void SilenceAfter(int count) { answersLeft = count; }
    // Counts one answer sent, for SilenceAfter.
    void CountAnswer();
    // Requests to these addresses meet a silent board.
    void SilenceAddresses(const std::bitset<256> &addresses) { silentAddresses = addresses; }
    bool IsSilentAddress(uint8_t address) const { return silentAddresses.test(address); }
    // Switches every fault off, the silences included.
    void Clear();

    // Rolls the dice for one answer. `stream` is true for TCP, where an answer can be
    // split, `datagram` for UDP, where a stranger can answer; the exception applies to
    // Modbus requests only.
    FaultPlan Plan(const Request &request, bool stream, bool datagram);

    // Breaks the integrity check of an answer in `protocol`'s framing: the CRC of
    // RTU, the checksum of 0x55, the protocol identifier of MBAP (which has no check).
    static void Corrupt(std::vector<uint8_t> &answer, WireProtocol protocol);
    // Replaces the transaction identifier of an MBAP answer by the next one.
    static void ChangeTransactionId(std::vector<uint8_t> &answer);

private:
    bool Roll(int share);

    FaultSettings settings;
    uint32_t seed;
    std::mt19937 generator;
    std::bitset<256> silentAddresses;
    bool silentForever = false;
    int answersLeft = 0; // 0: off
    Clock::time_point silentUntil{};
};
