#include <gtest/gtest.h>

#include "tools/LinkStatistics.h"

namespace {

OperationResult Result(int32_t code, std::string message = "") {
    OperationResult result;
    result.success = code == 0;
    result.code = code;
    result.message = std::move(message);
    return result;
}

TEST(LinkStatistics, SortsEveryEndingOfATransaction) {
    const std::pair<OperationResult, TransactionOutcome> cases[] = {
        {Result(0), TransactionOutcome::Ok},
        {Result(-5, "接收超时"), TransactionOutcome::NoAnswer},
        {Result(-4, "接收失败"), TransactionOutcome::ReceiveFailed},
        {Result(-3, "发送失败，已发送: -1 字节"), TransactionOutcome::SendFailed},
        {Result(-1, "设备未连接"), TransactionOutcome::SendFailed},
        {Result(-1, "CRC校验错误"), TransactionOutcome::CheckFailed},
        {Result(-1, "事务ID不匹配: 期望2, 实际1"), TransactionOutcome::CheckFailed},
        {Result(-1, "校验和错误"), TransactionOutcome::CheckFailed},
        {Result(-1, "设备1响应异常: 非法数据地址"), TransactionOutcome::DeviceException},
        {Result(-1, "单元1响应异常: 非法功能"), TransactionOutcome::DeviceException},
    };
    for (const auto& [result, outcome] : cases)
        EXPECT_EQ(LinkStatistics::Classify(result), outcome) << result.message;
}

TEST(LinkStatistics, KeepsCountsAndTheTimesOfTheLastThousand) {
    LinkStatistics statistics;
    // 1,200 answers of 1..1200 µs and 30 silences: only the last 1,000 transactions count
    // for the times, and silences have none.
    for (int i = 1; i <= 1200; ++i) {
        statistics.Record(TransactionOutcome::Ok, i * 1000);
        if (i % 40 == 0)
            statistics.Record(TransactionOutcome::NoAnswer, -1);
    }
    const LinkStatisticsSnapshot s = statistics.Snapshot();
    EXPECT_EQ(s.transactions, 1230u);
    EXPECT_EQ(s.Count(TransactionOutcome::Ok), 1200u);
    EXPECT_EQ(s.Count(TransactionOutcome::NoAnswer), 30u);
    // The last 1,000 hold answers 226..1200 (975) and 25 silences.
    ASSERT_EQ(s.roundTrips, 975);
    EXPECT_DOUBLE_EQ(s.minMs, 0.226);
    EXPECT_DOUBLE_EQ(s.maxMs, 1.2);
    EXPECT_NEAR(s.meanMs, (0.226 + 1.2) / 2, 1e-9);
    EXPECT_DOUBLE_EQ(s.p95Ms, (226 + 927 - 1) / 1000.0); // rank ceil(0.95 * 975) = 927

    statistics.OnConnected();
    const LinkStatisticsSnapshot reset = statistics.Snapshot();
    EXPECT_EQ(reset.transactions, 0u);
    EXPECT_EQ(reset.roundTrips, 0);
    EXPECT_EQ(reset.maxMs, 0);
}

} // namespace
