#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/LinkStatistics.h"

// The window's line of link statistics: it watches the device's requests and results as
// the window's callback receives them and says how the link is doing, e.g.
// "请求 120  成功 118  失败 2 (无应答 2)  往返 ms: 最小 3.1  平均 4.0  P95 6.2  最大 9.8".
// A round trip runs from the last request frame sent to the operation's result.
class LinkStatisticsLine {
public:
    // nowNs: a monotonic clock in ns (the steady clock unless a test sets one).
    explicit LinkStatisticsLine(std::function<int64_t()> nowNs = {});

    // A request frame went out. Any thread, like the device's callback.
    void OnSend();
    // An operation ended with result. Any thread.
    void OnResult(const OperationResult& result);
    // Forgets everything (on connect).
    void Reset();
    // The line for what was recorded since the last reset.
    std::string Text() const { return Format(m_statistics.Snapshot()); }

    static std::string Format(const LinkStatisticsSnapshot& snapshot);

private:
    std::function<int64_t()> m_nowNs;
    LinkStatistics m_statistics;
    std::atomic<int64_t> m_lastSendNs{-1};
};
