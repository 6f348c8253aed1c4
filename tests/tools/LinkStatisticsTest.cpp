// Link statistics: how each transaction is sorted, the counts and times kept, and a Device
// reporting its transactions over a scripted transport with known delays, as the window's
// line says them.
#include <gtest/gtest.h>

#include <deque>
#include <tuple>

#include "device/Device.h"
#include "dialog/LinkStatisticsLine.h"
#include "support/ScriptedCommunication.h"
#include "tools/LinkStatistics.h"

namespace {

TEST(LinkStatistics, SortsEveryEndingOfATransactionByItsKind) {
    // Failures (code -9) whose texts mislead on purpose: only the kind may decide.
    const std::tuple<ErrorKind, const char*, TransactionOutcome> cases[] = {
        {ErrorKind::ReceiveFailed, "响应异常", TransactionOutcome::ReceiveFailed},
        {ErrorKind::NotConnected, "", TransactionOutcome::SendFailed},
        {ErrorKind::ConnectionClosed, "接收超时", TransactionOutcome::SendFailed},
        {ErrorKind::Mismatch, "设备未连接", TransactionOutcome::CheckFailed},
        {ErrorKind::Checksum, "", TransactionOutcome::CheckFailed},
        {ErrorKind::Malformed, "", TransactionOutcome::CheckFailed},
        {ErrorKind::Exception, "校验和错误", TransactionOutcome::DeviceException},
        {ErrorKind::Timeout, "单元1响应异常", TransactionOutcome::NoAnswer},
    };
    for (const auto& [kind, message, outcome] : cases) {
        const OperationResult result{false, -9, message, "", kind, 0};
        EXPECT_EQ(LinkStatistics::Classify(result), outcome) << ErrorKindName(kind);
    }
}

TEST(LinkStatistics, KeepsTheTimesOfTheLastThousandTransactions) {
    LinkStatistics statistics;
    // 1,000 slow answers, then 999 fast ones and a silence: only the newest 1,000 count.
    for (int i = 0; i < 1000; ++i)
        statistics.Record(TransactionOutcome::Ok, 9000000);
    for (int i = 1; i <= 999; ++i)
        statistics.Record(TransactionOutcome::Ok, i * 1000);
    statistics.Record(TransactionOutcome::NoAnswer, -1);
    const LinkStatisticsSnapshot s = statistics.Snapshot();
    EXPECT_EQ(s.transactions, 2000u);
    EXPECT_EQ(s.roundTrips, 999);
    EXPECT_DOUBLE_EQ(s.maxMs, 0.999);
    EXPECT_DOUBLE_EQ(s.p95Ms, 0.950); // rank ceil(0.95 * 999) = 950
}

TEST(LinkStatistics, FollowsEveryTransactionOfADevice) {
    const std::vector<uint8_t> coils = {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
    const std::vector<uint8_t> badCrc = {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x66};
    const std::vector<uint8_t> exception = {0x01, 0x85, 0x02, 0xC3, 0x51}; // to a write
    auto script = std::make_shared<CommScript>();
    int64_t nowNs = 0;
    std::deque<int64_t> delaysMs;
    Device device;
    // Each answer takes the next of delaysMs on the device's clock.
    script->whileWaiting = [&] {
        if (!delaysMs.empty())
            nowNs += delaysMs.front() * 1000000, delaysMs.pop_front();
    };
    device.SetHooks({[&](CommType kind) -> std::unique_ptr<ICommunication> {
                         return std::make_unique<ScriptedCommunication>(kind, script);
                     },
                     [&] { return nowNs; }, [](int32_t) {}});
    LinkStatisticsLine line;
    device.SetTransactionObserver(&line.Observer());
    DeviceConfig config;
    config.commType = CommType::Tcp;
    device.SetProtocol(ProtocolType::ModbusRtu);
    device.SetConfig(config);
    ASSERT_TRUE(device.Connect());

    // 19 answers taking 1..19 ms, an exception taking 40 ms, a broken answer taking 25 ms
    // (its continuation wait finds nothing more), a silent board, a connection that is gone.
    for (int64_t ms = 1; ms <= 19; ++ms) {
        script->replies.push_back(CommScript::Data(coils));
        delaysMs.push_back(ms);
        EXPECT_TRUE(device.ReadCoils(0, 32).success);
    }
    script->replies.push_back(CommScript::Data(exception));
    delaysMs.push_back(40);
    EXPECT_FALSE(device.WriteCoil(3, 1).success);
    script->replies.push_back(CommScript::Data(badCrc));
    delaysMs.push_back(25);
    EXPECT_FALSE(device.ReadInputs(0, 32).success);
    EXPECT_EQ(device.ReadCoils(0, 32).code, -5);
    script->sendResults = {-1, -1}; // over TCP: the connection is gone, reopened, gone again
    EXPECT_EQ(device.ReadCoils(0, 32).kind, ErrorKind::ConnectionClosed);

    // Each failure by its kind; the times of the 21 answered: 1..19, 25, 40 (P95: the 20th).
    EXPECT_EQ(line.Text(), "请求 23  成功 19  失败 4 (无应答 1, 校验错误 1, 设备异常 1, 发送失败 1)"
                           "  往返 ms: 最小 1.0  平均 12.1  P95 25.0  最大 40.0");

    // A new connection starts the statistics afresh.
    device.Disconnect();
    ASSERT_TRUE(device.Connect());
    EXPECT_EQ(line.Text(), "请求 0  成功 0  失败 0  往返 ms: -");
}

} // namespace
