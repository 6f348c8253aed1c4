#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "device/ITransactionObserver.h"
#include "protocol/IProtocol.h"

// How one transaction ended.
enum class TransactionOutcome : int32_t {
    Ok,
    NoAnswer,        // nothing arrived within the wait
    ReceiveFailed,   // the transport reported a receive error
    CheckFailed,     // an answer arrived but its CRC, checksum, id or length was wrong
    DeviceException, // the board refused the request with an exception answer
    SendFailed,      // the request could not be sent, or the connection is closed
};
constexpr int32_t kTransactionOutcomeCount = 6;

// English name of an outcome, as the command line prints it ("no answer").
const char* OutcomeName(TransactionOutcome outcome);

// Counts since the last reset and round-trip times over the most recent transactions.
struct LinkStatisticsSnapshot {
    uint64_t transactions = 0;
    std::array<uint64_t, kTransactionOutcomeCount> counts{}; // indexed by TransactionOutcome
    int32_t roundTrips = 0; // answered transactions among the recent ones
    double minMs = 0, meanMs = 0, p95Ms = 0, maxMs = 0; // 0 when roundTrips is 0

    uint64_t Count(TransactionOutcome outcome) const {
        return counts[static_cast<size_t>(outcome)];
    }
};

// Link statistics of one Device: every transaction's outcome and its round-trip time (from
// the send to the complete answer). Cheap enough to stay on: a record is a few stores under
// an uncontended lock. Thread-safe, so a window may read it while a worker transacts.
class LinkStatistics : public ITransactionObserver {
public:
    static constexpr int32_t kWindow = 1000; // recent transactions kept for the times

    // Sorts a finished transaction into its outcome by the result's kind.
    static TransactionOutcome Classify(const OperationResult& result);

    // roundTripNs < 0: no answer arrived, so no time is kept for it.
    void Record(TransactionOutcome outcome, int64_t roundTripNs);
    void Reset();
    LinkStatisticsSnapshot Snapshot() const;

    void OnConnected() override { Reset(); }
    void OnTransaction(const OperationResult& result, int64_t roundTripNs) override {
        Record(Classify(result), roundTripNs);
    }

private:
    mutable std::mutex lock;
    uint64_t transactions = 0;
    std::array<uint64_t, kTransactionOutcomeCount> counts{};
    std::vector<int64_t> recent = std::vector<int64_t>(kWindow, -1); // ring of round trips
    int32_t next = 0;
};
