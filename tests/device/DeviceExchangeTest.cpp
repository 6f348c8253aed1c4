// Reads, writes, retries, recovery and the state cache of a Device, driven over
// scripted transports with real protocol objects.
#include "device/DeviceHarness.h"

#include <chrono>
#include <functional>

namespace {

// Modbus RTU, device 1: read 32 coils from 0, its answer (coils 0-3 and 31 ON), the
// same for inputs, coil 3 switched ON and OFF (the device echoes the request), and an
// exception answer (illegal data address).
const Bytes kReadCoils = {0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
const Bytes kCoilsAnswer = {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
const Bytes kReadInputs = {0x01, 0x02, 0x00, 0x00, 0x00, 0x20, 0x79, 0xD2};
const Bytes kCoil3On = {0x01, 0x05, 0x00, 0x03, 0xFF, 0x00, 0x7C, 0x3A};
const Bytes kCoil3Off = {0x01, 0x05, 0x00, 0x03, 0x00, 0x00, 0x3D, 0xCA};
const Bytes kException = {0x01, 0x81, 0x02, 0xC1, 0x91};
const std::string kSentRead = "log S 发送: 01 01 00 00 00 20 3D D2 ";
const std::string kGotCoils = "log R 接收: 01 01 04 0F 00 00 80 F9 65 ";
const Lines kCoilsOn = {"coil 0=1", "coil 1=1", "coil 2=1", "coil 3=1", "coil 31=1"};

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

using DeviceExchangeTest = DeviceHarness;

TEST_F(DeviceExchangeTest, ReadReportsOnlyChangedPoints) {
    ConnectRtu();
    script->replies = {CommScript::Data(kCoilsAnswer), CommScript::Data(kCoilsAnswer)};

    OperationResult result = device.ReadCoils(0, 32);
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.message.empty());
    EXPECT_FALSE(result.detail.empty());
    EXPECT_EQ(events.Take(), Join({{kSentRead, kGotCoils}, kCoilsOn, {"result 1 ok"}}));
    EXPECT_EQ(script->sent, (std::vector<Bytes>{kReadCoils}));
    EXPECT_EQ(script->receiveSizes, (std::vector<int32_t>{256}));
    EXPECT_EQ(script->receiveWaits, (std::vector<int32_t>{100}));

    device.ReadCoils(0, 32); // the same states again: nothing to report
    EXPECT_EQ(events.lines, (Lines{kSentRead, kGotCoils, "result 1 ok"}));

    EXPECT_EQ(device.GetCachedCoil(3), 1);
    EXPECT_EQ(device.GetCachedCoil(4), 0);
    EXPECT_EQ(device.GetCachedCoil(31), 1);
    EXPECT_EQ(device.GetCachedCoil(32), 0);
    EXPECT_EQ(device.GetCachedCoil(-1), 0);
    EXPECT_EQ(device.GetCachedInput(0), 0);
}

TEST_F(DeviceExchangeTest, ReadInputsSendsTheInputsRequest) {
    ConnectRtu();
    device.ReadInputs(0, 32);
    EXPECT_EQ(script->sent, (std::vector<Bytes>{kReadInputs}));
    EXPECT_EQ(events.lines.back(), "result 2 -5 接收超时");
}

struct RetryCase {
    const char *name;
    int32_t retryCount;
    std::deque<int32_t> sendResults;
    std::deque<CommScript::Reply> replies;
    Lines events;
    int32_t pauses;
};

class DeviceRetryTest : public DeviceHarness, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(DeviceRetryTest, CountsItsAttempts) {
    const RetryCase &c = GetParam();
    ConnectRtu(c.retryCount);
    script->sendResults = c.sendResults;
    script->replies = c.replies;

    const OperationResult result = device.ReadCoils(0, 32);
    EXPECT_EQ(events.lines, c.events);
    EXPECT_EQ(pauses, std::vector<int32_t>(c.pauses, 100));
    ASSERT_EQ(events.results.size(), 1u);
    EXPECT_EQ(result.code, events.results[0].code);
    EXPECT_EQ(result.success, result.code == 0);
    if (!result.success) {
        EXPECT_TRUE(result.detail.empty());
    }
}

const std::string kTimeout1 = "log R 接收超时，重试 1/3";
const std::string kTimeout2 = "log R 接收超时，重试 2/3";
const std::string kTimeout3 = "log R 接收超时，重试 3/3";

INSTANTIATE_TEST_SUITE_P(
    Attempts, DeviceRetryTest,
    ::testing::Values(
        RetryCase{"SilentDevice",
                  3,
                  {},
                  {},
                  {kSentRead, kTimeout1, kTimeout2, kTimeout3, "result 1 -5 接收超时"},
                  0},
        RetryCase{"SilentDeviceOneAttempt",
                  1,
                  {},
                  {},
                  {kSentRead, "log R 接收超时，重试 1/1", "result 1 -5 接收超时"},
                  0},
        RetryCase{"ErrorOnEveryReceive",
                  3,
                  {},
                  {CommScript::Failure(), CommScript::Failure(), CommScript::Failure()},
                  {kSentRead, "result 1 -4 接收失败"},
                  0},
        RetryCase{"TimeoutAfterErrors",
                  3,
                  {},
                  {CommScript::Failure(), CommScript::Failure(), CommScript::Silence()},
                  {kSentRead, kTimeout3, "result 1 -5 接收超时"},
                  0},
        RetryCase{"ErrorAfterTimeouts",
                  3,
                  {},
                  {CommScript::Silence(), CommScript::Silence(), CommScript::Failure()},
                  {kSentRead, kTimeout1, kTimeout2, "result 1 -4 接收失败"},
                  0},
        RetryCase{"AnswerOnSecondReceive",
                  3,
                  {},
                  {CommScript::Silence(), CommScript::Data(kCoilsAnswer)},
                  Join({{kSentRead, kTimeout1, kGotCoils}, kCoilsOn, {"result 1 ok"}}),
                  0},
        RetryCase{"SendSucceedsSecondTime",
                  3,
                  {-1, 8},
                  {CommScript::Data(kCoilsAnswer)},
                  Join({{kSentRead, "log S 发送失败，重试 1/3", kSentRead, kGotCoils},
                        kCoilsOn,
                        {"result 1 ok"}}),
                  1},
        RetryCase{"ShortWriteEveryTime",
                  3,
                  {4, 4, 4},
                  {},
                  {kSentRead, "log S 发送失败，重试 1/3", kSentRead, "log S 发送失败，重试 2/3",
                   kSentRead, "log S 发送失败，重试 3/3", "result 1 -3 发送失败，已发送: 4 字节"},
                  3},
        RetryCase{"NoAttemptAtAll", 0, {}, {}, {"result 1 -3 发送失败，已发送: -1 字节"}, 0}),
    [](const ::testing::TestParamInfo<RetryCase> &info) { return info.param.name; });

TEST_F(DeviceExchangeTest, ClosedTransportFailsEverySendAttempt) {
    // A failed reconnect leaves the transport closed; the silence check then makes
    // the device Offline, where exchanges are still attempted.
    ConnectRtu();
    device.Disconnect();
    script->openResults = {false};
    ASSERT_FALSE(device.Connect());
    AdvanceMs(5001);
    device.CheckHeartbeat();
    ASSERT_EQ(device.GetState(), DeviceState::Offline);
    events.Take();

    const OperationResult result = device.ReadCoils(0, 32);
    EXPECT_EQ(result.code, -3);
    EXPECT_EQ(result.message, "发送失败，已发送: -1 字节");
    EXPECT_EQ(events.lines,
              (Lines{"log S 发送失败，重试 1/3", "log S 发送失败，重试 2/3",
                     "log S 发送失败，重试 3/3", "result 1 -3 发送失败，已发送: -1 字节"}));
    EXPECT_EQ(pauses, (std::vector<int32_t>{100, 100, 100}));
    EXPECT_TRUE(script->sent.empty());
    EXPECT_TRUE(script->receiveWaits.empty());
}

TEST_F(DeviceExchangeTest, RealPauseBetweenSendAttempts) {
    ConnectRtu(2);
    device.SetHooks({}); // real clock and real sleep
    script->sendResults = {-1, -1};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(device.ReadCoils(0, 32).code, -3);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
}

TEST_F(DeviceExchangeTest, FailedWriteRollsBack) {
    ConnectRtu();
    OperationResult result = device.WriteCoil(3, 1);
    EXPECT_EQ(result.code, -5);
    EXPECT_EQ(events.Take(), (Lines{"coil 3=1", "log S 发送: 01 05 00 03 FF 00 7C 3A ", kTimeout1,
                                    kTimeout2, kTimeout3, "coil 3=0", "log R 写线圈 3 失败，已回滚",
                                    "result 5 -5 接收超时"}));
    EXPECT_EQ(device.GetCachedCoil(3), 0);

    // Roll back to ON: the state before the write is restored, not simply OFF.
    script->replies = {CommScript::Data(kCoil3On), CommScript::Data(kException)};
    ASSERT_TRUE(device.WriteCoil(3, 1).success);
    events.Take();
    result = device.WriteCoil(3, 0);
    EXPECT_EQ(result.code, -1);
    EXPECT_EQ(result.message, "设备1响应异常: 非法数据地址");
    EXPECT_EQ(events.lines,
              (Lines{"coil 3=0", "log S 发送: 01 05 00 03 00 00 3D CA ",
                     "log R 接收: 01 81 02 C1 91 ", "coil 3=1", "log R 写线圈 3 失败，已回滚",
                     "result 5 -1 设备1响应异常: 非法数据地址"}));
    EXPECT_EQ(device.GetCachedCoil(3), 1);
}

TEST_F(DeviceExchangeTest, WriteFollowsTheStateTheDeviceReports) {
    ConnectRtu();
    script->replies = {CommScript::Data(kCoil3Off), CommScript::Data(kCoil3On)};

    EXPECT_TRUE(device.WriteCoil(3, 1).success);
    EXPECT_EQ(events.Take(),
              (Lines{"coil 3=1", "log S 发送: 01 05 00 03 FF 00 7C 3A ",
                     "log R 接收: 01 05 00 03 00 00 3D CA ", "coil 3=0", "result 5 ok"}));
    EXPECT_EQ(device.GetCachedCoil(3), 0);

    EXPECT_TRUE(device.WriteCoil(3, 1).success);
    EXPECT_EQ(events.lines, (Lines{"coil 3=1", "log S 发送: 01 05 00 03 FF 00 7C 3A ",
                                   "log R 接收: 01 05 00 03 FF 00 7C 3A ", "result 5 ok"}));
    EXPECT_EQ(device.GetCachedCoil(3), 1);
}

TEST_F(DeviceExchangeTest, AnswerWhileOfflineRecoversBeforeTheResult) {
    ConnectRtu();
    AdvanceMs(5001);
    device.CheckHeartbeat();
    events.Take();

    // A timed-out read leaves the device Offline.
    EXPECT_EQ(device.ReadCoils(0, 32).code, -5);
    EXPECT_EQ(device.GetState(), DeviceState::Offline);
    events.Take();

    script->replies = {CommScript::Data(kCoilsAnswer)};
    EXPECT_TRUE(device.ReadCoils(0, 32).success);
    EXPECT_EQ(events.Take(),
              Join({{kSentRead, "state 4->2", "log R 收到数据，设备自动恢复连接", kGotCoils},
                    kCoilsOn,
                    {"result 1 ok"}}));
    EXPECT_TRUE(device.IsConnected());

    // The shown-at-once state of a write is not the protocol's yet: the recovery
    // brings the cache back in line before the answer is parsed.
    AdvanceMs(5001);
    device.CheckHeartbeat();
    events.Take();
    script->replies = {CommScript::Data(kCoil3Off)};
    EXPECT_TRUE(device.WriteCoil(3, 0).success);
    EXPECT_EQ(events.lines,
              (Lines{"coil 3=0", "log S 发送: 01 05 00 03 00 00 3D CA ", "state 4->2",
                     "log R 收到数据，设备自动恢复连接", "coil 3=1",
                     "log R 接收: 01 05 00 03 00 00 3D CA ", "coil 3=0", "result 5 ok"}));
}

TEST_F(DeviceExchangeTest, OnlyReceivedDataKeepsTheDeviceAlive) {
    ConnectRtu();
    AdvanceMs(4000);
    script->replies = {CommScript::Data(kException)};
    const OperationResult rejected = device.ReadCoils(0, 32);
    EXPECT_EQ(rejected.code, -1);
    EXPECT_EQ(rejected.message, "设备1响应异常: 非法数据地址");

    AdvanceMs(4000);
    device.CheckHeartbeat(); // 4000 ms since the rejected answer
    EXPECT_EQ(device.GetState(), DeviceState::Connected);

    device.ReadCoils(0, 32); // sends, hears nothing
    AdvanceMs(1001);
    device.CheckHeartbeat();
    EXPECT_EQ(device.GetState(), DeviceState::Offline);
}

TEST_F(DeviceExchangeTest, Protocol55ReadsInputsWithTheStatusRequest) {
    Connect(ProtocolType::Protocol55);
    script->replies = {CommScript::Data({0x22, 0x01, 0x10, 0x00, 0x00, 0x00, 0x05, 0x38})};
    EXPECT_TRUE(device.ReadInputs(0, 32).success);
    EXPECT_EQ(script->sent, (std::vector<Bytes>{{0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66}}));
    EXPECT_EQ(events.lines,
              (Lines{"log S 发送: 55 01 10 00 00 00 00 66 ", "log R 接收: 22 01 10 00 00 00 05 38 ",
                     "coil 0=1", "coil 2=1", "result 2 ok"}));
}

TEST_F(DeviceExchangeTest, Protocol55NumbersChannelsFromOne) {
    Connect(ProtocolType::Protocol55);
    script->replies = {CommScript::Data({0x22, 0x01, 0x20, 0x80, 0x00, 0x00, 0x01, 0xC4})};
    EXPECT_TRUE(device.WriteCoil(31, 1).success);
    EXPECT_EQ(script->sent, (std::vector<Bytes>{{0x55, 0x01, 0x20, 0x00, 0x00, 0x00, 0x20, 0x96}}));
    EXPECT_EQ(events.lines,
              (Lines{"coil 31=1", "log S 发送: 55 01 20 00 00 00 20 96 ",
                     "log R 接收: 22 01 20 80 00 00 01 C4 ", "coil 0=1", "result 5 ok"}));
}

TEST_F(DeviceExchangeTest, NoProtocolMeansNoFrame) {
    // protocolType 0 equals the initial kind, so SetConfig alone installs nothing.
    Configure(CommType::Tcp, ProtocolType::ModbusRtu);
    ASSERT_TRUE(device.Connect());
    events.Take();

    EXPECT_EQ(device.ReadCoils(0, 32).message, "构建报文失败");
    EXPECT_EQ(device.WriteCoil(3, 1).code, -2);
    EXPECT_EQ(events.Take(), (Lines{"result 1 -2 构建报文失败", "coil 3=1", "coil 3=0",
                                    "log R 写线圈 3 失败，已回滚", "result 5 -2 构建报文失败"}));
    EXPECT_TRUE(script->sent.empty());

    UseProtocol(ProtocolType::ModbusRtu);
    device.ReadCoils(0, 32);
    EXPECT_EQ(script->sent, (std::vector<Bytes>{kReadCoils}));

    Configure(CommType::Tcp, static_cast<ProtocolType>(7));
    EXPECT_EQ(device.ReadInputs(0, 32).code, -2);
}

TEST_F(DeviceExchangeTest, RangeTheProtocolRefusesIsABuildFailure) {
    ConnectRtu();
    const OperationResult result = device.ReadCoils(31, 2);
    EXPECT_EQ(result.code, -2);
    EXPECT_EQ(result.message, "构建报文失败");
    EXPECT_TRUE(script->sent.empty());
}

TEST_F(DeviceExchangeTest, RefusedOperationsRaiseNothing) {
    struct Refusal {
        const char *state;
        std::function<OperationResult()> operation;
        int32_t code;
        const char *message;
    };
    const std::vector<Refusal> whileDown = {
        {"down", [&] { return device.ReadCoils(0, 32); }, -1, "设备未连接"},
        {"down", [&] { return device.ReadInputs(0, 32); }, -1, "设备未连接"},
        {"down", [&] { return device.WriteCoil(3, 1); }, -1, "设备未连接"},
        {"down", [&] { return device.WriteCoil(40, 1); }, -1, "设备未连接"}, // connection first
    };
    const std::vector<Refusal> whileUp = {
        {"up", [&] { return device.WriteCoil(32, 1); }, -2, "地址超出范围"},
        {"up", [&] { return device.WriteCoil(255, 0); }, -2, "地址超出范围"},
    };
    auto check = [&](const std::vector<Refusal> &refusals) {
        for (const Refusal &r : refusals) {
            const OperationResult result = r.operation();
            EXPECT_FALSE(result.success) << r.state;
            EXPECT_EQ(result.code, r.code) << r.state;
            EXPECT_EQ(result.message, r.message) << r.state;
        }
        EXPECT_TRUE(events.Take().empty());
        EXPECT_TRUE(script->sent.empty());
    };

    check(whileDown); // Disconnected
    UseProtocol(ProtocolType::ModbusRtu);
    Configure(CommType::Tcp, ProtocolType::ModbusRtu);
    script->openResults = {false};
    device.Connect();
    events.Take();
    check(whileDown); // Error
    ASSERT_TRUE(device.Connect());
    events.Take();
    check(whileUp);
    EXPECT_EQ(device.GetCachedCoil(32), 0);
}

TEST_F(DeviceExchangeTest, ClearStatesReportsAllPointsAndResetsTheProtocol) {
    ConnectRtu();
    script->replies = {CommScript::Data(kCoilsAnswer), CommScript::Data(kCoil3On)};
    device.ReadCoils(0, 32);
    events.Take();

    device.ClearStates();
    Lines expected;
    for (int i = 0; i < 32; ++i) {
        expected.push_back("coil " + std::to_string(i) + "=0");
        expected.push_back("input " + std::to_string(i) + "=0");
    }
    EXPECT_EQ(events.Take(), expected);
    EXPECT_EQ(device.GetCachedCoil(0), 0);

    // Had the protocol kept its tables, this write would report coils 0-2 and 31 again.
    device.WriteCoil(3, 1);
    EXPECT_EQ(events.StartingWith("coil"), (Lines{"coil 3=1"}));
    events.Take();

    device.ClearStates();
    events.Take();
    device.ClearStates(); // nothing left to clear: every point is still reported
    EXPECT_EQ(events.lines, expected);
}

TEST_F(DeviceExchangeTest, OverlongReceiveCountIsClampedToTheBuffer) {
    ConnectRtu();
    CommScript::Reply lying;
    lying.result = 300;
    lying.bytes.assign(300, 0xAB);
    script->replies = {lying};
    device.ReadCoils(0, 32);
    const Lines received = events.StartingWith("log R 接收: ");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].size(), std::string("log R 接收: ").size() + 256 * 3);
}

} // namespace
