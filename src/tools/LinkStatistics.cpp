#include "tools/LinkStatistics.h"

#include <algorithm>

namespace {

constexpr double kNsPerMs = 1e6;

} // namespace

const char* OutcomeName(TransactionOutcome outcome) {
    switch (outcome) {
    case TransactionOutcome::Ok:
        return "ok";
    case TransactionOutcome::NoAnswer:
        return "no answer";
    case TransactionOutcome::ReceiveFailed:
        return "receive failed";
    case TransactionOutcome::CheckFailed:
        return "check failed";
    case TransactionOutcome::DeviceException:
        return "device exception";
    case TransactionOutcome::SendFailed:
        return "send failed";
    }
    return "?";
}

TransactionOutcome LinkStatistics::Classify(const OperationResult& result) {
    if (result.success)
        return TransactionOutcome::Ok;
    switch (result.kind) {
    case ErrorKind::Timeout:
        return TransactionOutcome::NoAnswer;
    case ErrorKind::ReceiveFailed:
        return TransactionOutcome::ReceiveFailed;
    case ErrorKind::Exception:
        return TransactionOutcome::DeviceException;
    case ErrorKind::Checksum:
    case ErrorKind::Malformed:
    case ErrorKind::Mismatch:
    case ErrorKind::NoProtocol:
        return TransactionOutcome::CheckFailed;
    case ErrorKind::None: // a failure without a kind: nothing is known of the link
    case ErrorKind::NotConnected:
    case ErrorKind::InvalidArgument:
    case ErrorKind::SendFailed:
    case ErrorKind::ConnectionClosed:
    case ErrorKind::Cancelled:
        break;
    }
    // Nothing could be sent, or the connection is gone.
    return TransactionOutcome::SendFailed;
}

void LinkStatistics::Record(TransactionOutcome outcome, int64_t roundTripNs) {
    std::lock_guard<std::mutex> guard(lock);
    ++transactions;
    ++counts[static_cast<size_t>(outcome)];
    recent[static_cast<size_t>(next)] = roundTripNs < 0 ? -1 : roundTripNs;
    next = (next + 1) % kWindow;
}

void LinkStatistics::Reset() {
    std::lock_guard<std::mutex> guard(lock);
    transactions = 0;
    counts.fill(0);
    std::fill(recent.begin(), recent.end(), -1);
    next = 0;
}

LinkStatisticsSnapshot LinkStatistics::Snapshot() const {
    LinkStatisticsSnapshot snapshot;
    std::vector<int64_t> times;
    {
        std::lock_guard<std::mutex> guard(lock);
        snapshot.transactions = transactions;
        snapshot.counts = counts;
        times.reserve(recent.size());
        std::copy_if(recent.begin(), recent.end(), std::back_inserter(times),
                     [](int64_t t) { return t >= 0; });
    }
    if (times.empty())
        return snapshot;
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (int64_t t : times)
        sum += static_cast<double>(t);
    const size_t n = times.size();
    // Nearest rank: the smallest time that at least 95 % of the samples do not exceed.
    const size_t rank = (95 * n + 99) / 100;
    snapshot.roundTrips = static_cast<int32_t>(n);
    snapshot.minMs = static_cast<double>(times.front()) / kNsPerMs;
    snapshot.maxMs = static_cast<double>(times.back()) / kNsPerMs;
    snapshot.meanMs = sum / static_cast<double>(n) / kNsPerMs;
    snapshot.p95Ms = static_cast<double>(times[rank - 1]) / kNsPerMs;
    return snapshot;
}
