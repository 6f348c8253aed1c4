// Connecting, exchanging, retrying, recovering and the silence check of a Device, driven over
// scripted transports with real protocol objects, a fake clock and recorded pauses.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "device/Device.h"
#include "support/RecordingCallback.h"
#include "support/ScriptedCommunication.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// Modbus RTU, device 1: a read of 32 coils from 0 and its answer (coils 0-3 and 31 ON), coil 3
// switched ON and OFF (the device echoes the request), and an exception (illegal address).
const Bytes kCoilsAnswer = {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
const Bytes kCoil3On = {0x01, 0x05, 0x00, 0x03, 0xFF, 0x00, 0x7C, 0x3A};
const Bytes kCoil3Off = {0x01, 0x05, 0x00, 0x03, 0x00, 0x00, 0x3D, 0xCA};
const Bytes kException = {0x01, 0x85, 0x02, 0xC3, 0x51}; // to a write
const std::string kSentRead = "log S 发送: 01 01 00 00 00 20 3D D2 ";
const std::string kGotCoils = "log R 接收: 01 01 04 0F 00 00 80 F9 65 ";
const std::string kSentOn = "log S 发送: 01 05 00 03 FF 00 7C 3A ";
const std::string kSentOff = "log S 发送: 01 05 00 03 00 00 3D CA ";
const std::string kGotOff = "log R 接收: 01 05 00 03 00 00 3D CA ";
const std::string kSendRetry = "log S 发送失败，重试 ", kTimeout = "log R 接收超时，重试 ";
const std::string kRolledBack = "log R 写线圈 3 失败，已回滚";
const CommScript::Reply kSilence{0, {}}, kError{-1, {}}, kClosed{kReceiveClosed, {}};

// The events of one connection attempt from the given state to Connected or Error.
Lines Attempt(const char* from, const char* to, const char* last) {
    return {std::string("state ") + from + "->1", "log R 正在连接...",
            std::string("state 1->") + to, last};
}
const Lines kConnected = Attempt("0", "2", "log R 连接成功");

// The events of a read that finds coils 0-3 and 31 ON, after the given log lines.
Lines ReadOk(Lines lines) {
    for (const char* coil : {"coil 0=1", "coil 1=1", "coil 2=1", "coil 3=1", "coil 31=1"})
        lines.push_back(coil);
    lines.push_back("result 1 ok");
    return lines;
}

// A failure carries its code and message and no detail; a success the reverse.
void ExpectResult(const OperationResult& r, int32_t code, const std::string& message) {
    EXPECT_EQ(r.success, code == 0);
    EXPECT_EQ(r.code, code);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(r.detail.empty(), code != 0);
}

// A Device on scripted transports and a fake clock; no protocol until a test installs one.
class DeviceTest : public ::testing::Test {
protected:
    static constexpr int64_t kNsPerMs = 1000000;

    void SetUp() override {
        device->SetHooks({[this](CommType kind) -> std::unique_ptr<ICommunication> {
                              return std::make_unique<ScriptedCommunication>(kind, script);
                          },
                          [this] { return nowNs; }, [this](int32_t ms) { pauses.push_back(ms); }});
        device->SetCallback(&events);
    }

    void Configure(CommType commType, ProtocolType protocolType, int32_t retryCount = 3) {
        DeviceConfig config = device->GetConfig();
        config.commType = commType;
        config.protocolType = protocolType;
        config.retryCount = retryCount;
        device->SetConfig(config);
    }

    // Installs the protocol and connects over a scripted TCP transport; drops the events.
    void Connect(ProtocolType protocolType = ProtocolType::ModbusRtu, int32_t retryCount = 3) {
        ASSERT_TRUE(device->SetProtocol(protocolType));
        Configure(CommType::Tcp, protocolType, retryCount);
        ASSERT_TRUE(device->Connect());
        events.Take();
    }

    // A new device on a new script, for the next row of a table.
    void Renew() {
        device = std::make_unique<Device>(); // the old one's last events are dropped below
        script = std::make_shared<CommScript>();
        SetUp();
        events.Take();
        pauses.clear();
    }

    void AdvanceMs(int64_t ms) { nowNs += ms * kNsPerMs; }
    // More silence than the default heartbeatTimeout of 5000 ms, then a check.
    void GoSilent() {
        AdvanceMs(5001);
        device->CheckHeartbeat();
    }

    std::shared_ptr<CommScript> script = std::make_shared<CommScript>();
    RecordingCallback events;
    std::vector<int32_t> pauses;
    int64_t nowNs = 1000 * kNsPerMs;
    // Last, so that it goes first and still reports to the members above.
    std::unique_ptr<Device> device = std::make_unique<Device>();
};

// Two Connect calls per row; a kind gets one transport, handed the record of its own kind.
TEST_F(DeviceTest, ConnectRaisesTheEventsOfItsPath) {
    const auto check = [&](CommType commType, bool configures, bool opens, const Lines& first,
                           const Lines& second, DeviceState finalState) {
        Renew();
        SCOPED_TRACE(int(commType));
        script->configureResult = configures;
        script->openResults = {opens};
        DeviceConfig config;
        config.commType = commType;
        config.serial.portName = "/dev/ttyS7";
        config.tcp.port = 1502;
        config.udp.remotePort = 2502;
        device->SetConfig(config);
        EXPECT_EQ(device->Connect(), first == kConnected);
        EXPECT_EQ(events.Take(), first);
        EXPECT_EQ(device->Connect(), finalState == DeviceState::Connected);
        EXPECT_EQ(events.lines, second);
        EXPECT_EQ(device->GetState(), finalState);
        EXPECT_EQ(script->created, commType >= CommType::Serial && commType <= CommType::Udp);
        EXPECT_EQ(script->serial.portName == "/dev/ttyS7", commType == CommType::Serial);
        EXPECT_EQ(script->tcp.port == 1502, commType == CommType::Tcp);
        EXPECT_EQ(script->udp.remotePort == 2502, commType == CommType::Udp);
    };
    const Lines noTransport = {"state 0->3", "log R 创建通信对象失败"}, again = {noTransport[1]};
    check(CommType::Tcp, true, true, kConnected, {}, DeviceState::Connected);
    check(CommType::None, true, true, noTransport, again, DeviceState::Error);
    check(CommType(7), true, true, noTransport, again, DeviceState::Error);
    check(CommType::Serial, false, true, Attempt("0", "3", "log R 配置失败"),
          Attempt("3", "3", "log R 配置失败"), DeviceState::Error);
    check(CommType::Udp, true, false, Attempt("0", "3", "log R 连接失败"),
          Attempt("3", "2", "log R 连接成功"), DeviceState::Connected);
}

// Settings never raise events; a new transport kind replaces the transport, open or not, and
// Disconnect keeps it for the next Connect; destruction disconnects.
TEST_F(DeviceTest, TransportFollowsTheSettingsAndOutlivesDisconnect) {
    Connect();
    Configure(CommType::Tcp, ProtocolType::ModbusRtu); // same kind: kept
    EXPECT_EQ(script->destroyed, 0);
    Configure(CommType(9), ProtocolType::ModbusRtu); // no transport of this kind
    EXPECT_EQ(script->destroyed, 1);
    EXPECT_EQ(device->GetActiveCommType(), 9);
    Configure(CommType::Udp, ProtocolType::ModbusRtu);
    EXPECT_EQ(device->GetState(), DeviceState::Connected);
    EXPECT_FALSE(device->IsConnected());
    EXPECT_TRUE(events.lines.empty());
    device->Disconnect();
    device->Disconnect(); // logs again, but the state does not change
    EXPECT_EQ(events.Take(), (Lines{"state 2->0", "log R 已断开连接", "log R 已断开连接"}));
    ASSERT_TRUE(device->Connect());
    events.Take();
    device.reset();
    EXPECT_EQ(events.lines, (Lines{"state 2->0", "log R 已断开连接"}));
    EXPECT_EQ(script->created, 2);
    EXPECT_EQ(script->closed, 3);
    EXPECT_EQ(script->destroyed, 2);
}

// Only received bytes, even a refused answer, restart the silence; sending does not.
TEST_F(DeviceTest, HeartbeatNeedsStrictlyMoreSilenceThanTheTimeout) {
    AdvanceMs(60000);
    device->CheckHeartbeat(); // Disconnected: never checked
    EXPECT_TRUE(events.lines.empty());
    Connect(); // restarts the silence
    AdvanceMs(4000);
    script->replies = {CommScript::Data(kException)};
    device->ReadCoils(0, 32);
    AdvanceMs(1000);
    device->ReadCoils(0, 32); // sends, hears nothing
    events.Take();
    AdvanceMs(4000);
    device->CheckHeartbeat();
    nowNs += kNsPerMs - 1; // still 5000 whole milliseconds after the refused answer
    device->CheckHeartbeat();
    EXPECT_TRUE(events.lines.empty());
    nowNs += 1;
    device->CheckHeartbeat();
    EXPECT_EQ(events.Take(), (Lines{"state 2->4", "log R 心跳超时，设备掉线", "heartbeat"}));
    AdvanceMs(60000);
    device->CheckHeartbeat(); // once Offline, no more
    EXPECT_TRUE(events.lines.empty());
    EXPECT_EQ(script->closed, 0); // the transport stays open while Offline
    script->openResults = {false};
    EXPECT_FALSE(device->Connect()); // from Offline as from Disconnected
    EXPECT_EQ(events.lines, Attempt("0", "3", "log R 连接失败"));
}

TEST_F(DeviceTest, ReadReportsOnlyChangedPoints) {
    Connect();
    script->replies = {CommScript::Data(kCoilsAnswer), CommScript::Data(kCoilsAnswer)};
    ExpectResult(device->ReadCoils(0, 32), 0, "");
    EXPECT_EQ(events.Take(), ReadOk({kSentRead, kGotCoils}));
    device->ReadCoils(0, 32); // the same states again: nothing to report
    EXPECT_EQ(events.Take(), (Lines{kSentRead, kGotCoils, "result 1 ok"}));
    EXPECT_EQ(script->receives[0], std::make_pair(256, 100)); // the whole buffer, receiveTimeout
    for (int32_t i : {-1, 0, 3, 4, 31, 32})
        EXPECT_EQ(device->GetCachedCoil(i), (i >= 0 && i <= 3) || i == 31) << i;
    EXPECT_EQ(device->GetCachedInput(0), 0);
    ExpectResult(device->ReadInputs(0, 32), -5, "接收超时");
    EXPECT_EQ(events.Take()[0], "log S 发送: 01 02 00 00 00 20 79 D2 ");
    // A transport that claims more than the buffer holds is cut to the buffer.
    script->replies = {{300, Bytes(300, 0xAB)}};
    device->ReadCoils(0, 32);
    EXPECT_EQ(events.lines.at(1).size(), std::string("log R 接收: ").size() + 256 * 3);
}

// Each row reads 32 coils.
TEST_F(DeviceTest, RetriesCountTheirAttempts) {
    const auto check = [&](const char* name, int32_t retryCount, std::deque<int32_t> sendResults,
                           std::deque<CommScript::Reply> replies, const Lines& expected,
                           int32_t pauseCount) {
        Renew();
        SCOPED_TRACE(name);
        Connect(ProtocolType::ModbusRtu, retryCount);
        script->sendResults = sendResults;
        script->replies = replies;
        const OperationResult r = device->ReadCoils(0, 32);
        EXPECT_EQ(events.lines, expected);
        EXPECT_EQ(events.lines.back(),
                  "result 1 " + (r.success ? "ok" : std::to_string(r.code) + " " + r.message));
        EXPECT_EQ(r.detail.empty(), !r.success);
        EXPECT_EQ(pauses, std::vector<int32_t>(size_t(pauseCount), 100));
    };
    const std::string unsent = "result 1 -3 发送失败，已发送: -1 字节";
    const CommScript::Reply answer = CommScript::Data(kCoilsAnswer);
    check("SilentDevice", 3, {}, {},
          {kSentRead, kTimeout + "1/3", kTimeout + "2/3", kTimeout + "3/3", "result 1 -5 接收超时"},
          0);
    check("ErrorOnEveryReceive", 3, {}, {kError, kError, kError},
          {kSentRead, "result 1 -4 接收失败"}, 0);
    check("TimeoutAfterErrors", 2, {}, {kError, kSilence},
          {kSentRead, kTimeout + "2/2", "result 1 -5 接收超时"}, 0);
    check("ErrorAfterTimeouts", 3, {}, {kSilence, kSilence, kError},
          {kSentRead, kTimeout + "1/3", kTimeout + "2/3", "result 1 -4 接收失败"}, 0);
    check("AnswerOnSecondReceive", 3, {}, {kSilence, answer},
          ReadOk({kSentRead, kTimeout + "1/3", kGotCoils}), 0);
    check("SendSucceedsSecondTime", 2, {4, 8}, {answer},
          ReadOk({kSentRead, kSendRetry + "1/2", kSentRead, kGotCoils}), 1);
    check("ShortWriteEveryTime", 3, {4, 4, 4}, {},
          {kSentRead, kSendRetry + "1/3", kSentRead, kSendRetry + "2/3", kSentRead,
           kSendRetry + "3/3", "result 1 -3 发送失败，已发送: 4 字节"},
          3);
    check("NoAttemptAtAll", 0, {}, {}, {unsent}, 0);
}

// The requested state shows at once; on failure, an answer for another state included, the
// previous state (not simply OFF) comes back. An answer while Offline first brings the device back
// and the cache in line with the protocol's tables, then is parsed.
TEST_F(DeviceTest, WriteFollowsTheDeviceRollsBackAndRecovers) {
    Connect();
    script->replies = {CommScript::Data(kCoil3Off)};
    const std::string other = "写入应答不匹配: 期望线圈3=0xFF00, 实际线圈3=0x0000";
    ExpectResult(device->WriteCoil(3, 1), -9, other);
    EXPECT_EQ(events.Take(), (Lines{"coil 3=1", kSentOn, kGotOff, "coil 3=0", kRolledBack,
                                    "result 5 -9 " + other}));
    ExpectResult(device->WriteCoil(3, 1), -5, "接收超时");
    EXPECT_EQ(events.Take(),
              (Lines{"coil 3=1", kSentOn, kTimeout + "1/3", kTimeout + "2/3", kTimeout + "3/3",
                     "coil 3=0", kRolledBack, "result 5 -5 接收超时"}));
    script->replies = {CommScript::Data(kCoil3On), CommScript::Data(kException)};
    ASSERT_TRUE(device->WriteCoil(3, 1).success);
    events.Take();
    ExpectResult(device->WriteCoil(3, 0), -9, "设备1响应异常: 非法数据地址");
    EXPECT_EQ(events.Take(), (Lines{"coil 3=0", kSentOff, "log R 接收: 01 85 02 C3 51 ", "coil 3=1",
                                    kRolledBack, "result 5 -9 设备1响应异常: 非法数据地址"}));
    EXPECT_EQ(device->GetCachedCoil(3), 1);

    GoSilent();
    ExpectResult(device->ReadCoils(0, 32), -5, "接收超时");
    EXPECT_EQ(device->GetState(), DeviceState::Offline); // silence keeps it Offline
    events.Take();
    script->replies = {CommScript::Data(kCoil3Off)};
    ExpectResult(device->WriteCoil(3, 0), 0, "");
    EXPECT_EQ(events.lines,
              (Lines{"coil 3=0", kSentOff, "state 4->2", "log R 收到数据，设备自动恢复连接",
                     "coil 3=1", kGotOff, "coil 3=0", "result 5 ok"}));
    EXPECT_TRUE(device->IsConnected());
}

// An answer in pieces, behind stray bytes or a late answer, or followed by stray bytes: each row
// reads 32 coils with the given input waiting before the send and the given receives after it.
TEST_F(DeviceTest, CollectsTheAnswerToTheRequestAndDropsStaleInput) {
    const auto check = [&](const char* name, Bytes waiting, std::deque<CommScript::Reply> replies,
                           Lines expected, const std::string& result) {
        Renew();
        SCOPED_TRACE(name);
        Connect();
        script->pending = {waiting};
        script->replies = std::move(replies);
        device->ReadCoils(0, 32);
        if (result != "ok")
            expected.push_back("result 1 " + result);
        EXPECT_EQ(events.lines, result == "ok" ? ReadOk(expected) : expected);
        for (size_t i = 1; i < script->receives.size(); ++i) // the continuation waits
            EXPECT_EQ(script->receives[i].second, 100);
    };
    const auto data = [](std::initializer_list<uint8_t> bytes) { return CommScript::Data(bytes); };
    const std::string got = "log R 接收: ", dropped = "log R 丢弃过期数据: ";
    const CommScript::Reply answer = CommScript::Data(kCoilsAnswer);
    check("StaleInputBeforeTheSend", {0xAA, 0xBB}, {answer},
          {dropped + "AA BB ", kSentRead, kGotCoils}, "ok");
    check("ThreePieces", {}, {data({1, 1, 4}), data({0x0F, 0, 0}), data({0x80, 0xF9, 0x65})},
          {kSentRead, got + "01 01 04 ", got + "0F 00 00 ", got + "80 F9 65 "}, "ok");
    check("LateAnswerThenItsOwn", {}, {data({1, 1, 1, 1, 0x90, 0x48}), answer},
          {kSentRead, got + "01 01 01 01 90 48 ", kGotCoils, dropped + "01 01 01 01 90 48 "}, "ok");
    check("StrayBytesFirst", {}, {data({0x7E}), answer},
          {kSentRead, got + "7E ", kGotCoils, dropped + "7E "}, "ok");
    check("LateAnswerAlone", {}, {CommScript::Data(kCoil3On)},
          {kSentRead, got + "01 05 00 03 FF 00 7C 3A "}, "-9 功能码不匹配: 期望0x01, 实际0x05");
    // An echoing adapter: the request comes back, with the answer's first byte in the same read.
    check("EchoWithTheAnswersFirstByte", {},
          {data({1, 1, 0, 0, 0, 0x20, 0x3D, 0xD2, 1}), data({1, 4, 0x0F, 0, 0, 0x80, 0xF9, 0x65})},
          {kSentRead, got + "01 01 00 00 00 20 3D D2 01 ", "log R 检测到回显，已忽略请求回显",
           dropped + "01 01 00 00 00 20 3D D2 ", got + "01 04 0F 00 00 80 F9 65 "},
          "ok");
    check("BegunThenSilent", {}, {data({1, 1, 4, 0x0F})}, {kSentRead, got + "01 01 04 0F "},
          "-9 CRC校验错误");
    // Bytes behind the answer are stale: they go, with what waits then, before the next send.
    Renew();
    Connect();
    script->replies = {data({1, 5, 0, 3, 0xFF, 0, 0x7C, 0x3A, 0x7E, 0x7E}), answer};
    script->pending = {{}, {0x7F}};
    ASSERT_TRUE(device->WriteCoil(3, 1).success);
    ASSERT_TRUE(device->ReadCoils(0, 32).success);
    EXPECT_EQ(events.lines.at(4), dropped + "7E 7E 7F ");
    EXPECT_EQ(events.lines.at(5), kSentRead);
    // The transport is told when the bytes so far are one whole answer.
    ASSERT_TRUE(script->answerCheck);
    EXPECT_TRUE(script->answerCheck(kCoilsAnswer.data(), 9));
    EXPECT_FALSE(script->answerCheck(kCoilsAnswer.data(), 8));
}

TEST_F(DeviceTest, Protocol55ReadsInputsByStatusAndNumbersChannelsFromOne) {
    Connect(ProtocolType::Protocol55);
    script->replies = {CommScript::Data({0x22, 0x01, 0x10, 0x00, 0x00, 0x00, 0x05, 0x38}),
                       CommScript::Data({0x22, 0x01, 0x20, 0x80, 0x00, 0x00, 0x01, 0xC4})};
    EXPECT_TRUE(device->ReadInputs(0, 32).success);
    EXPECT_TRUE(device->WriteCoil(31, 1).success);
    EXPECT_EQ(events.lines,
              (Lines{"log S 发送: 55 01 10 00 00 00 00 66 ", "log R 接收: 22 01 10 00 00 00 05 38 ",
                     "coil 0=1", "coil 2=1", "result 2 ok", "coil 31=1",
                     "log S 发送: 55 01 20 00 00 00 20 96 ", "log R 接收: 22 01 20 80 00 00 01 C4 ",
                     "coil 2=0", "result 5 ok"}));
}

// Operations that cannot run send nothing; refused ones raise no event either.
TEST_F(DeviceTest, OperationsThatCannotRunSendNothing) {
    ExpectResult(device->ReadCoils(0, 32), -1, "设备未连接");
    ExpectResult(device->ReadInputs(0, 32), -1, "设备未连接");
    ExpectResult(device->WriteCoil(40, 1), -1, "设备未连接"); // the connection comes first
    EXPECT_TRUE(events.lines.empty());
    script->openResults = {false};
    // protocolType 0 equals the initial kind, so SetConfig alone installs no protocol.
    Configure(CommType::Tcp, ProtocolType::ModbusRtu);
    ASSERT_FALSE(device->Connect());
    events.Take();
    GoSilent(); // a failed connect is no silent board: Error stays, and nothing is sent
    ExpectResult(device->ReadCoils(0, 32), -1, "设备未连接");
    EXPECT_EQ(device->GetState(), DeviceState::Error);
    EXPECT_TRUE(events.lines.empty());
    ASSERT_TRUE(device->Connect());
    ExpectResult(device->WriteCoil(32, 1), -2, "地址超出范围");
    EXPECT_EQ(events.Take(), Attempt("3", "2", "log R 连接成功"));
    ExpectResult(device->ReadCoils(0, 32), -8, "构建报文失败");
    EXPECT_EQ(events.Take(), (Lines{"result 1 -8 构建报文失败"}));
    Connect();
    ExpectResult(device->ReadCoils(31, 2), -8, "构建报文失败"); // a range the protocol refuses
    Configure(CommType::Tcp, ProtocolType(7));
    EXPECT_EQ(device->ReadInputs(0, 32).code, -8);
    EXPECT_TRUE(script->sent.empty());
}

// Every way an operation can end in failure, through the Device: its kind and its code.
TEST_F(DeviceTest, EveryFailureCarriesItsKindAndCode) {
    struct Row {
        const char* name;
        ProtocolType protocol;
        std::deque<int32_t> sends;
        std::deque<CommScript::Reply> replies;
        std::deque<bool> opens; // of the reopen
        std::function<OperationResult(Device&)> act;
        ErrorKind kind;
        int32_t code;
        uint8_t exceptionCode = 0;
    };
    const auto read = [](Device& d) { return d.ReadCoils(0, 32); };
    const auto write = [](Device& d) { return d.WriteCoil(3, 1); };
    const auto rtu = ProtocolType::ModbusRtu;
    const auto data = [](std::vector<uint8_t> bytes) { return CommScript::Data(bytes); };
    const auto p55 = ProtocolType::Protocol55;
    const auto none = ProtocolType(7);
    using K = ErrorKind;
    // clang-format off
    const Row rows[] = {
        {"NotConnected", rtu, {}, {}, {}, read, K::NotConnected, -1},
        {"IndexOutOfRange", rtu, {}, {}, {}, [](Device& d) { return d.WriteCoil(32, 1); }, K::InvalidArgument, -2},
        {"RangeRefused", rtu, {}, {}, {}, [](Device& d) { return d.ReadCoils(31, 2); }, K::InvalidArgument, -8},
        {"NoProtocol", none, {}, {}, {}, read, K::NoProtocol, -8},
        {"ShortWrites", rtu, {4, 4, 4}, {}, {}, read, K::SendFailed, -3},
        {"ReceiveErrors", rtu, {}, {kError, kError, kError}, {}, read, K::ReceiveFailed, -4},
        {"Silence", rtu, {}, {}, {}, read, K::Timeout, -5},
        {"ClosedAndNotReopened", rtu, {}, {kClosed}, {false}, read, K::ConnectionClosed, -10},
        {"ToggleNotAskedTwice", p55, {}, {kClosed}, {}, write, K::ConnectionClosed, -10},
        {"BadCrc", rtu, {}, {data({1, 1, 4, 0x0F, 0, 0, 0x80, 0xF9, 0x66})}, {}, read, K::Checksum, -9},
        {"Exception", rtu, {}, {data(kException)}, {}, write, K::Exception, -9, 2},
        {"AnotherRequestsAnswer", rtu, {}, {data(kCoil3On)}, {}, read, K::Mismatch, -9},
        {"ByteCountOfAnotherQuantity", rtu, {}, {data({1, 1, 1, 0x0F, 0x11, 0x8C})}, {}, read, K::Mismatch, -9},
        {"TooShort", rtu, {}, {data({1, 1})}, {}, read, K::Malformed, -9},
    };
    // clang-format on
    for (const Row& row : rows) {
        Renew();
        SCOPED_TRACE(row.name);
        if (row.kind != ErrorKind::NotConnected)
            Connect(row.protocol == none ? rtu : row.protocol);
        if (row.protocol == none)
            Configure(CommType::Tcp, row.protocol);
        script->sendResults = row.sends;
        script->replies = row.replies;
        script->openResults = row.opens;
        const OperationResult r = row.act(*device);
        EXPECT_EQ(ErrorKindName(r.kind), std::string(ErrorKindName(row.kind)));
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.exceptionCode, row.exceptionCode);
        EXPECT_FALSE(r.success || r.message.empty());
    }
    EXPECT_EQ(script->sent.size(), 1u); // the toggle that may have arrived went once
}

// A peer that closed is reopened at once and the read asked again; with nothing sent for the
// heartbeat time-out the heartbeat asks before it declares, and while Offline with the
// connection lost it reopens and asks on every check.
TEST_F(DeviceTest, ClosedConnectionsAreReopenedAndTheHeartbeatAsksFirst) {
    Connect();
    script->replies = {kClosed, CommScript::Data(kCoilsAnswer)};
    ASSERT_TRUE(device->ReadCoils(0, 32).success);
    EXPECT_EQ(events.Take(), ReadOk({kSentRead, "log R 连接已断开，正在重新连接...",
                                     "log R 连接成功", kSentRead, kGotCoils}));
    script->replies = {CommScript::Data(kCoilsAnswer)};
    GoSilent(); // answered: still Connected
    EXPECT_EQ(events.Take(), (Lines{kSentRead, kGotCoils, "result 1 ok"}));
    GoSilent(); // unanswered
    EXPECT_EQ(device->GetState(), DeviceState::Offline);
    const Lines declared = events.Take();
    EXPECT_EQ(Lines(declared.end() - 3, declared.end()),
              (Lines{"state 2->4", "log R 心跳超时，设备掉线", "heartbeat"}));
    script->replies = {kClosed};
    script->openResults = {false, false, true};
    device->ReadCoils(0, 32); // the reopen fails: Offline with the connection closed
    device->CheckHeartbeat(); // fails again
    EXPECT_EQ(device->GetState(), DeviceState::Offline);
    script->replies = {CommScript::Data(kCoilsAnswer)};
    events.Take();
    device->CheckHeartbeat();
    EXPECT_EQ(events.Take(), (Lines{"log R 连接成功", kSentRead, "state 4->2",
                                    "log R 收到数据，设备自动恢复连接", kGotCoils, "result 1 ok"}));
}

TEST_F(DeviceTest, ClearStatesReportsAllPointsAndResetsTheProtocol) {
    Connect();
    script->replies = {CommScript::Data(kCoilsAnswer), CommScript::Data(kCoil3On)};
    device->ReadCoils(0, 32);
    Lines cleared;
    for (int i = 0; i < 64; ++i)
        cleared.push_back((i % 2 ? "input " : "coil ") + std::to_string(i / 2) + "=0");
    for (int round = 0; round < 2; ++round) { // the second has nothing left to clear
        events.Take();
        device->ClearStates();
        EXPECT_EQ(events.lines, cleared);
    }
    events.Take();
    device->WriteCoil(3, 1); // a protocol that kept its tables would report coils 0-2 and 31
    EXPECT_EQ(events.lines,
              (Lines{"coil 3=1", kSentOn, "log R 接收: 01 05 00 03 FF 00 7C 3A ", "result 5 ok"}));
}

} // namespace
