// A Device against a libmodbus server: Modbus TCP over loopback and Modbus RTU over a
// pair of joined pseudo-terminals. Our frames must be accepted and its answers (and its
// exception answers) read to the same states.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>

#include "LibmodbusServer.h"
#include "device/Device.h"
#include "support/PtyBridge.h"
#include "support/RecordingCallback.h"

namespace {

const std::set<int> kCoilsOn = {0, 3, 7, 8, 15, 16, 23, 30, 31};
const std::set<int> kInputsOn = {1, 2, 9, 17, 24, 31};

enum class Link { Tcp, Rtu };

struct Peer {
    std::unique_ptr<PtyBridge> bridge;
    std::unique_ptr<LibmodbusServer> server;
};

// Starts a server with `points` coils and inputs and a connected Device talking to it.
::testing::AssertionResult Start(Link link, int points, Peer* peer, Device* device,
                                 RecordingCallback* events) {
    peer->server = std::make_unique<LibmodbusServer>(points, points);
    for (int i : kCoilsOn) {
        if (i < points)
            peer->server->SetCoil(i, true);
    }
    for (int i : kInputsOn) {
        if (i < points)
            peer->server->SetInput(i, true);
    }
    DeviceConfig config;
    config.receiveTimeout = 1000;
    if (link == Link::Tcp) {
        if (!peer->server->StartTcp())
            return ::testing::AssertionFailure() << "no TCP server";
        config.commType = CommType::Tcp;
        config.tcp.serverIp = "127.0.0.1";
        config.tcp.port = peer->server->Port();
        config.protocolType = ProtocolType::ModbusTcp;
    } else {
        peer->bridge = std::make_unique<PtyBridge>();
        if (!peer->bridge->Ok() || !peer->server->StartRtu(peer->bridge->PathB(), 1)) {
            return ::testing::AssertionFailure() << "no RTU server";
        }
        config.commType = CommType::Serial;
        config.serial.portName = peer->bridge->PathA();
        config.serial.baudRate = 115200;
        config.protocolType = ProtocolType::ModbusRtu;
    }
    device->SetCallback(events);
    {
        std::lock_guard<std::recursive_mutex> guard(device->GetLock());
        if (!device->SetProtocol(config.protocolType)) {
            return ::testing::AssertionFailure() << "no protocol";
        }
    }
    device->SetConfig(config);
    if (!device->Connect())
        return ::testing::AssertionFailure() << "connect failed";
    return ::testing::AssertionSuccess();
}

class LibmodbusInterop : public ::testing::TestWithParam<Link> {
protected:
    void TearDown() override {
        device.Disconnect();
        peer.server.reset();
    }

    Peer peer;
    RecordingCallback events;
    Device device;
};

TEST_P(LibmodbusInterop, ReadsEveryCoilAndInput) {
    ASSERT_TRUE(Start(GetParam(), 32, &peer, &device, &events));
    const OperationResult coils = device.ReadCoils(0, 32);
    ASSERT_TRUE(coils.success) << coils.message;
    const OperationResult inputs = device.ReadInputs(0, 32);
    ASSERT_TRUE(inputs.success) << inputs.message;
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(device.GetCachedCoil(i), kCoilsOn.count(i)) << "coil " << i;
        EXPECT_EQ(device.GetCachedInput(i), kInputsOn.count(i)) << "input " << i;
    }
}

TEST_P(LibmodbusInterop, ReadsARangeAtAnOffset) {
    ASSERT_TRUE(Start(GetParam(), 32, &peer, &device, &events));
    const OperationResult r = device.ReadCoils(5, 11); // coils 5..15, two data bytes
    ASSERT_TRUE(r.success) << r.message;
    for (int i = 0; i < 32; ++i) {
        const bool inRange = i >= 5 && i <= 15;
        EXPECT_EQ(device.GetCachedCoil(i), inRange ? kCoilsOn.count(i) : 0u) << "coil " << i;
    }
}

TEST_P(LibmodbusInterop, SwitchesCoilsOnTheServer) {
    ASSERT_TRUE(Start(GetParam(), 32, &peer, &device, &events));
    for (int index : {5, 31, 0}) {
        const bool wasOn = peer.server->Coil(index);
        const OperationResult r = device.WriteCoil(index, wasOn ? 0 : 1);
        ASSERT_TRUE(r.success) << r.message;
        EXPECT_EQ(peer.server->Coil(index), !wasOn) << index;
        EXPECT_EQ(device.GetCachedCoil(index), wasOn ? 0 : 1) << index;
    }
    // And the server's view reads back the same.
    ASSERT_TRUE(device.ReadCoils(0, 32).success);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(device.GetCachedCoil(i), peer.server->Coil(i)) << i;
}

TEST_P(LibmodbusInterop, ExceptionAnswersBecomeTheFailureText) {
    // A server with 16 points: a read of 32, or a write to coil 20, lies beyond its table.
    ASSERT_TRUE(Start(GetParam(), 16, &peer, &device, &events));
    const std::string text =
        GetParam() == Link::Tcp ? "单元1响应异常: 非法数据地址" : "设备1响应异常: 非法数据地址";
    OperationResult r = device.ReadCoils(0, 32);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.message, text);

    r = device.WriteCoil(20, 1);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.message, text);
    EXPECT_EQ(device.GetCachedCoil(20), 0); // rolled back

    // Within its table it still works.
    r = device.ReadInputs(0, 16);
    ASSERT_TRUE(r.success) << r.message;
    EXPECT_EQ(device.GetCachedInput(9), 1);
    EXPECT_GE(peer.server->Served(), 3);
}

INSTANTIATE_TEST_SUITE_P(Links, LibmodbusInterop, ::testing::Values(Link::Tcp, Link::Rtu),
                         [](const ::testing::TestParamInfo<Link>& info) {
                             return info.param == Link::Tcp ? "ModbusTcp" : "ModbusRtu";
                         });

} // namespace
