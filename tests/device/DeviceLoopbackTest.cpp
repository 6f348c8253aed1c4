// A Device on the real TCP and UDP transports against a scripted peer on 127.0.0.1: connect,
// read 32 coils, switch a coil, then a peer that has fallen silent.
#include <gtest/gtest.h>

#include <atomic>
#include <tuple>

#include "device/Device.h"
#include "support/LoopbackTcpServer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/RecordingCallback.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

class DeviceLoopbackTest : public ::testing::TestWithParam<std::tuple<CommType, ProtocolType>> {
protected:
    const bool tcp = std::get<0>(GetParam()) == CommType::Tcp;
    const bool mbap = std::get<1>(GetParam()) == ProtocolType::ModbusTcp;
    std::atomic<bool> silent{false};
    LoopbackTcpServer tcpPeer;
    LoopbackUdpPeer udpPeer;
    RecordingCallback events;
    Device device; // goes first, before the peers and the receiver
};

TEST_P(DeviceLoopbackTest, ExchangesWithAPeerUntilItFallsSilent) {
    // A board whose coils 0-3 and 31 are ON: answers a read and echoes a coil write, in Modbus
    // RTU or (mbap) Modbus TCP framing; nothing once silent.
    const auto answer = [this](const Bytes& request) -> Bytes {
        if (silent || request.size() != (mbap ? 12u : 8u))
            return {};
        if (request[mbap ? 7 : 1] == 0x05)
            return request;
        if (!mbap)
            return {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
        return {request[0], request[1], 0, 0, 0, 7, request[6], 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80};
    };
    ASSERT_TRUE(tcp ? tcpPeer.StartScripted(answer) : udpPeer.StartScripted(answer));
    DeviceConfig config;
    config.commType = std::get<0>(GetParam());
    config.protocolType = std::get<1>(GetParam());
    // Generous for a loaded machine; the answers come within milliseconds.
    config.receiveTimeout = config.tcp.timeoutMs = config.udp.timeoutMs = 2000;
    config.tcp.serverIp = config.udp.localIp = config.udp.remoteIp = "127.0.0.1";
    config.tcp.port = tcpPeer.Port();
    config.udp.remotePort = udpPeer.Port();
    {
        std::lock_guard<std::recursive_mutex> guard(device.GetLock());
        ASSERT_TRUE(device.SetProtocol(config.protocolType));
    }
    device.SetCallback(&events);
    device.SetConfig(config);
    ASSERT_TRUE(device.Connect());
    events.Take();

    EXPECT_TRUE(device.ReadCoils(0, 32).success);
    std::string sent = mbap ? "00 01 00 00 00 06 01 01 00 00 00 20 " : "01 01 00 00 00 20 3D D2 ";
    const std::string got =
        mbap ? "00 01 00 00 00 07 01 01 04 0F 00 00 80 " : "01 01 04 0F 00 00 80 F9 65 ";
    EXPECT_EQ(events.Take(),
              (Lines{"log S 发送: " + sent, "log R 接收: " + got, "coil 0=1", "coil 1=1",
                     "coil 2=1", "coil 3=1", "coil 31=1", "result 1 ok"}));
    EXPECT_TRUE(device.WriteCoil(5, 1).success);
    EXPECT_EQ((tcp ? tcpPeer.Requests() : udpPeer.Requests()).size(), 2u);

    silent = true;
    config.receiveTimeout = 100;
    device.SetConfig(config);
    events.Take();
    EXPECT_EQ(device.ReadCoils(0, 32).code, -5);
    if (mbap)
        sent[4] = '3'; // the third transaction
    EXPECT_EQ(events.lines,
              (Lines{"log S 发送: " + sent, "log R 接收超时，重试 1/3", "log R 接收超时，重试 2/3",
                     "log R 接收超时，重试 3/3", "result 1 -5 接收超时"}));
    EXPECT_EQ(device.GetState(), DeviceState::Connected); // silence alone decides Offline
}

INSTANTIATE_TEST_SUITE_P(Loopback, DeviceLoopbackTest,
                         ::testing::Combine(::testing::Values(CommType::Tcp, CommType::Udp),
                                            ::testing::Values(ProtocolType::ModbusRtu,
                                                              ProtocolType::ModbusTcp)));

} // namespace
