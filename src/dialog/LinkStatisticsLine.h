#pragma once

#include <string>

#include "tools/LinkStatistics.h"

// The window's line of link statistics: the device reports each transaction's outcome and
// round trip to Observer(), which counts anew on every connect; Text() says how the link is
// doing, e.g.
// "请求 120  成功 118  失败 2 (无应答 2)  往返 ms: 最小 3.1  平均 4.0  P95 6.2  最大 9.8".
class LinkStatisticsLine {
public:
    // For Device::SetTransactionObserver; any thread.
    ITransactionObserver& Observer() { return m_statistics; }
    // The line for what was recorded since the last connect.
    std::string Text() const { return Format(m_statistics.Snapshot()); }

    static std::string Format(const LinkStatisticsSnapshot& snapshot);

private:
    LinkStatistics m_statistics;
};
