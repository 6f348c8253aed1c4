// Connecting, disconnecting, settings and the silence check of a Device, driven over
// scripted transports with a fake clock.
#include "device/DeviceHarness.h"

namespace {

const Lines kConnected = {"state 0->1", "log R 正在连接...", "state 1->2", "log R 连接成功"};

struct ConnectCase {
    const char *name;
    CommType commType;
    bool configureResult;
    bool openResult;
    bool connected;
    DeviceState finalState;
    Lines events;
};

class DeviceConnectTest : public DeviceHarness,
                          public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(DeviceConnectTest, RaisesTheEventsOfItsPath) {
    const ConnectCase &c = GetParam();
    script->configureResult = c.configureResult;
    script->openResults = {c.openResult};
    Configure(c.commType, ProtocolType::ModbusRtu);

    EXPECT_EQ(device.Connect(), c.connected);
    EXPECT_EQ(events.lines, c.events);
    EXPECT_EQ(device.GetState(), c.finalState);
    EXPECT_EQ(device.IsConnected(), c.connected);
    EXPECT_EQ(device.GetActiveCommType(), static_cast<int32_t>(c.commType));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DeviceConnectTest,
    ::testing::Values(
        ConnectCase{"Opens", CommType::Tcp, true, true, true, DeviceState::Connected, kConnected},
        ConnectCase{"NoTransportForNone",
                    CommType::None,
                    true,
                    true,
                    false,
                    DeviceState::Error,
                    {"state 0->3", "log R 创建通信对象失败"}},
        ConnectCase{"NoTransportForUnknownKind",
                    static_cast<CommType>(7),
                    true,
                    true,
                    false,
                    DeviceState::Error,
                    {"state 0->3", "log R 创建通信对象失败"}},
        ConnectCase{"ConfigureFails",
                    CommType::Serial,
                    false,
                    true,
                    false,
                    DeviceState::Error,
                    {"state 0->1", "log R 正在连接...", "state 1->3", "log R 配置失败"}},
        ConnectCase{"OpenFails",
                    CommType::Udp,
                    true,
                    false,
                    false,
                    DeviceState::Error,
                    {"state 0->1", "log R 正在连接...", "state 1->3", "log R 连接失败"}}),
    [](const ::testing::TestParamInfo<ConnectCase> &info) { return info.param.name; });

using DeviceLifecycleTest = DeviceHarness;

TEST_F(DeviceLifecycleTest, ConnectHandsTheTransportTheRecordOfItsKind) {
    DeviceConfig config = device.GetConfig();
    config.serial.portName = "/dev/ttyS7";
    config.tcp.serverIp = "127.0.0.2";
    config.tcp.port = 1502;
    config.udp.remoteIp = "127.0.0.3";
    config.udp.remotePort = 2502;

    config.commType = CommType::Serial;
    device.SetConfig(config);
    ASSERT_TRUE(device.Connect());
    EXPECT_EQ(script->serial.portName, "/dev/ttyS7");

    config.commType = CommType::Tcp;
    device.SetConfig(config);
    device.Disconnect();
    ASSERT_TRUE(device.Connect());
    EXPECT_EQ(script->tcp.serverIp, "127.0.0.2");
    EXPECT_EQ(script->tcp.port, 1502u);

    config.commType = CommType::Udp;
    device.SetConfig(config);
    device.Disconnect();
    ASSERT_TRUE(device.Connect());
    EXPECT_EQ(script->udp.remoteIp, "127.0.0.3");
    EXPECT_EQ(script->udp.remotePort, 2502u);

    EXPECT_EQ(made, (std::vector<CommType>{CommType::Serial, CommType::Tcp, CommType::Udp}));
    EXPECT_EQ(script->initialized, 3);
}

TEST_F(DeviceLifecycleTest, ConnectAfterAFailureReusesTheTransport) {
    script->openResults = {false, true};
    Configure(CommType::Tcp, ProtocolType::ModbusRtu);
    ASSERT_FALSE(device.Connect());
    events.Take();

    EXPECT_TRUE(device.Connect());
    EXPECT_EQ(events.lines,
              (Lines{"state 3->1", "log R 正在连接...", "state 1->2", "log R 连接成功"}));
    EXPECT_EQ(script->created, 1);
    EXPECT_EQ(script->configured, 2);
}

TEST_F(DeviceLifecycleTest, RepeatedFailureToCreateOnlyLogs) {
    ASSERT_FALSE(device.Connect());
    events.Take();
    EXPECT_FALSE(device.Connect());
    EXPECT_EQ(events.lines, (Lines{"log R 创建通信对象失败"}));
}

TEST_F(DeviceLifecycleTest, ConnectWhileConnectedDoesNothing) {
    ConnectRtu();
    EXPECT_TRUE(device.Connect());
    EXPECT_TRUE(events.lines.empty());
    EXPECT_EQ(script->opened, 1);
}

TEST_F(DeviceLifecycleTest, ConnectFromOfflineStartsFromDisconnected) {
    ConnectRtu();
    AdvanceMs(6000);
    device.CheckHeartbeat();
    ASSERT_EQ(device.GetState(), DeviceState::Offline);
    events.Take();

    script->openResults = {false, true};
    EXPECT_FALSE(device.Connect());
    EXPECT_EQ(events.Take(),
              (Lines{"state 0->1", "log R 正在连接...", "state 1->3", "log R 连接失败"}));

    AdvanceMs(6000);
    device.CheckHeartbeat();
    events.Take();
    EXPECT_TRUE(device.Connect());
    EXPECT_EQ(events.lines, kConnected);
    EXPECT_EQ(script->created, 1);
}

TEST_F(DeviceLifecycleTest, DisconnectAlwaysLogsButChangesStateOnce) {
    ConnectRtu();
    device.Disconnect();
    device.Disconnect();
    EXPECT_EQ(events.lines, (Lines{"state 2->0", "log R 已断开连接", "log R 已断开连接"}));
    EXPECT_EQ(script->closed, 2);
    EXPECT_EQ(script->destroyed, 0); // kept for the next Connect
    EXPECT_FALSE(device.IsConnected());
}

TEST_F(DeviceLifecycleTest, ChangingTheTransportKindDestroysTheOpenTransport) {
    ConnectRtu();
    Configure(CommType::Tcp, ProtocolType::ModbusRtu); // same kind: kept
    EXPECT_EQ(script->destroyed, 0);

    Configure(CommType::Udp, ProtocolType::Protocol55);
    EXPECT_EQ(script->destroyed, 1);
    EXPECT_EQ(made, (std::vector<CommType>{CommType::Tcp, CommType::Udp}));
    EXPECT_EQ(device.GetState(), DeviceState::Connected);
    EXPECT_FALSE(device.IsConnected());
    EXPECT_EQ(device.ReadCoils(0, 32).code, -1);
    EXPECT_TRUE(events.lines.empty()); // settings never raise events

    Configure(static_cast<CommType>(9), ProtocolType::ModbusRtu);
    EXPECT_EQ(script->destroyed, 2);
    EXPECT_EQ(device.GetActiveCommType(), 9);
    device.Disconnect();
    events.Take();
    EXPECT_FALSE(device.Connect());
    EXPECT_EQ(events.lines, (Lines{"state 0->3", "log R 创建通信对象失败"}));
}

TEST_F(DeviceLifecycleTest, DestructionDisconnectsAndDestroysTheTransport) {
    {
        Device local;
        Device::Hooks hooks;
        hooks.makeCommunication = [this](CommType kind) -> std::unique_ptr<ICommunication> {
            return std::make_unique<ScriptedCommunication>(kind, script);
        };
        local.SetHooks(hooks);
        local.SetCallback(&events);
        DeviceConfig config;
        config.commType = CommType::Tcp;
        local.SetConfig(config);
        ASSERT_TRUE(local.Connect());
        events.Take();
    }
    EXPECT_EQ(events.lines, (Lines{"state 2->0", "log R 已断开连接"}));
    EXPECT_EQ(script->closed, 1);
    EXPECT_EQ(script->destroyed, 1);
}

TEST_F(DeviceLifecycleTest, HeartbeatNeedsStrictlyMoreSilenceThanTheTimeout) {
    ConnectRtu();
    AdvanceMs(5000);
    device.CheckHeartbeat();
    nowNs += kNsPerMs - 1; // still 5000 whole milliseconds
    device.CheckHeartbeat();
    EXPECT_TRUE(events.lines.empty());

    nowNs += 1;
    device.CheckHeartbeat();
    EXPECT_EQ(events.Take(), (Lines{"state 2->4", "log R 心跳超时，设备掉线", "heartbeat"}));

    AdvanceMs(60000);
    device.CheckHeartbeat();
    EXPECT_TRUE(events.lines.empty());
    EXPECT_EQ(device.GetState(), DeviceState::Offline);
    EXPECT_EQ(script->closed, 0); // the transport stays open while Offline
}

TEST_F(DeviceLifecycleTest, HeartbeatIsSilentWhileDisconnected) {
    AdvanceMs(1000000);
    device.CheckHeartbeat();
    ConnectRtu();
    device.Disconnect();
    events.Take();
    AdvanceMs(1000000);
    device.CheckHeartbeat();
    EXPECT_TRUE(events.lines.empty());
    EXPECT_EQ(device.GetState(), DeviceState::Disconnected);
}

TEST_F(DeviceLifecycleTest, HeartbeatAlsoDropsAFailedReconnect) {
    ConnectRtu();
    device.Disconnect();
    script->openResults = {false};
    ASSERT_FALSE(device.Connect());
    events.Take();
    AdvanceMs(5001);
    device.CheckHeartbeat();
    EXPECT_EQ(events.lines, (Lines{"state 3->4", "log R 心跳超时，设备掉线", "heartbeat"}));
}

TEST_F(DeviceLifecycleTest, ConnectRestartsTheSilence) {
    AdvanceMs(60000); // long silence before connecting
    ConnectRtu();
    AdvanceMs(5000);
    device.CheckHeartbeat();
    EXPECT_EQ(device.GetState(), DeviceState::Connected);
    AdvanceMs(1);
    device.CheckHeartbeat();
    EXPECT_EQ(device.GetState(), DeviceState::Offline);
}

} // namespace
