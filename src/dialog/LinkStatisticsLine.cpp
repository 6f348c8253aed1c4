#include "dialog/LinkStatisticsLine.h"

#include <cstdio>

namespace {

// The failure kinds in the order the line names them, with their names.
struct FailureKind {
    TransactionOutcome outcome;
    const char* name;
};
constexpr FailureKind kFailureKinds[] = {
    {TransactionOutcome::NoAnswer, "无应答"},
    {TransactionOutcome::ReceiveFailed, "接收错误"},
    {TransactionOutcome::CheckFailed, "校验错误"},
    {TransactionOutcome::DeviceException, "设备异常"},
    {TransactionOutcome::SendFailed, "发送失败"},
};

} // namespace

std::string LinkStatisticsLine::Format(const LinkStatisticsSnapshot& s) {
    const uint64_t ok = s.Count(TransactionOutcome::Ok);
    std::string line = "请求 " + std::to_string(s.transactions) + "  成功 " + std::to_string(ok) +
                       "  失败 " + std::to_string(s.transactions - ok);
    // Only the kinds that happened, so that the line stays short.
    std::string kinds;
    for (const FailureKind& kind : kFailureKinds) {
        if (s.Count(kind.outcome) > 0) {
            kinds += (kinds.empty() ? "" : ", ") + std::string(kind.name) + " " +
                     std::to_string(s.Count(kind.outcome));
        }
    }
    if (!kinds.empty())
        line += " (" + kinds + ")";
    if (s.roundTrips == 0)
        return line + "  往返 ms: -";
    char times[128];
    std::snprintf(times, sizeof times, "  往返 ms: 最小 %.1f  平均 %.1f  P95 %.1f  最大 %.1f",
                  s.minMs, s.meanMs, s.p95Ms, s.maxMs);
    return line + times;
}
