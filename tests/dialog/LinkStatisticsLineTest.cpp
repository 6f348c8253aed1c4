#include <gtest/gtest.h>

#include "dialog/LinkStatisticsLine.h"

namespace {

OperationResult Result(bool success, int32_t code, const std::string& message = "") {
    OperationResult result;
    result.success = success;
    result.code = code;
    result.message = message;
    return result;
}

// Every failure is counted by its kind and only the kinds that happened are named; times
// come from the answered transactions; a connect starts from zero.
TEST(LinkStatisticsLineTest, NamesTheFailureKindsThatHappenedAndTheRoundTrips) {
    LinkStatisticsLine line;
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");
    constexpr int64_t kMs = 1000000;
    ITransactionObserver& observer = line.Observer();
    observer.OnTransaction(Result(true, 0), 3 * kMs);
    observer.OnTransaction(Result(false, -5, "接收超时"), -1);
    observer.OnTransaction(Result(false, -6, "CRC校验失败"), 5 * kMs);
    observer.OnTransaction(Result(true, 0), 2 * kMs);
    observer.OnTransaction(Result(false, -1, "Modbus响应异常: 非法数据地址"), 10 * kMs);
    EXPECT_EQ(line.Text(), "请求 5  成功 2  失败 3 (无应答 1, 校验错误 1, 设备异常 1)  往返 ms: "
                           "最小 2.0  平均 5.0  P95 10.0  最大 10.0");
    observer.OnConnected();
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");
}

} // namespace
