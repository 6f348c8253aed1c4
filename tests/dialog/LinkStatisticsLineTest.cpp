#include <gtest/gtest.h>

#include "dialog/LinkStatisticsLine.h"

namespace {

OperationResult Result(bool success, ErrorKind kind) {
    OperationResult result;
    result.success = success;
    result.kind = kind;
    return result;
}

// Every failure is counted by its kind and only the kinds that happened are named; times
// come from the answered transactions; a connect starts from zero.
TEST(LinkStatisticsLineTest, NamesTheFailureKindsThatHappenedAndTheRoundTrips) {
    LinkStatisticsLine line;
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");
    constexpr int64_t kMs = 1000000;
    ITransactionObserver& observer = line.Observer();
    observer.OnTransaction(Result(true, ErrorKind::None), 3 * kMs);
    observer.OnTransaction(Result(false, ErrorKind::Timeout), -1);
    observer.OnTransaction(Result(false, ErrorKind::Checksum), 5 * kMs);
    observer.OnTransaction(Result(true, ErrorKind::None), 2 * kMs);
    observer.OnTransaction(Result(false, ErrorKind::Exception), 10 * kMs);
    EXPECT_EQ(line.Text(), "请求 5  成功 2  失败 3 (无应答 1, 校验错误 1, 设备异常 1)  往返 ms: "
                           "最小 2.0  平均 5.0  P95 10.0  最大 10.0");
    observer.OnConnected();
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");
}

} // namespace
