// A Device on the real TCP and UDP transports against a scripted peer on 127.0.0.1:
// connect, read 32 coils, switch a coil, then a peer that stops answering.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "device/Device.h"
#include "support/LoopbackTcpServer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/RecordingCallback.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// Generous for a loaded machine; the answers come within milliseconds.
constexpr int32_t kAnsweredWaitMs = 2000;
constexpr int32_t kSilentWaitMs = 100;

// A board whose coils 0-3 and 31 are ON: answers reads of 32 coils from 0 and echoes
// coil writes, in Modbus RTU or Modbus TCP framing.
Bytes Answer(ProtocolType framing, const Bytes &request) {
    if (framing == ProtocolType::ModbusRtu) {
        if (request.size() == 8 && request[1] == 0x01) {
            return {0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
        }
        if (request.size() == 8 && request[1] == 0x05)
            return request;
        return {};
    }
    if (request.size() == 12 && request[7] == 0x01) {
        return {request[0], request[1], 0x00, 0x00, 0x00, 0x07, request[6],
                0x01,       0x04,       0x0F, 0x00, 0x00, 0x80};
    }
    if (request.size() == 12 && request[7] == 0x05)
        return request;
    return {};
}

struct LoopbackCase {
    const char *name;
    CommType commType;
    ProtocolType protocol;
    Lines readEvents;
};

const Lines kCoilsOn = {"coil 0=1", "coil 1=1", "coil 2=1", "coil 3=1", "coil 31=1"};

Lines ReadEvents(const std::string &sent, const std::string &received) {
    Lines lines = {"log S 发送: " + sent, "log R 接收: " + received};
    lines.insert(lines.end(), kCoilsOn.begin(), kCoilsOn.end());
    lines.push_back("result 1 ok");
    return lines;
}

const std::string kRtuRead = "01 01 00 00 00 20 3D D2 ";
const std::string kRtuAnswer = "01 01 04 0F 00 00 80 F9 65 ";
const std::string kTcpRead = "00 01 00 00 00 06 01 01 00 00 00 20 ";
const std::string kTcpAnswer = "00 01 00 00 00 07 01 01 04 0F 00 00 80 ";

class DeviceLoopbackTest : public ::testing::TestWithParam<LoopbackCase> {
protected:
    void SetUp() override {
        const LoopbackCase &c = GetParam();
        auto responder = [this, framing = c.protocol](const Bytes &request) {
            return silent ? Bytes() : Answer(framing, request);
        };
        DeviceConfig config;
        config.commType = c.commType;
        config.protocolType = c.protocol;
        config.receiveTimeout = kAnsweredWaitMs;
        if (c.commType == CommType::Tcp) {
            ASSERT_NE(tcpPeer.Port(), 0);
            ASSERT_TRUE(tcpPeer.StartScripted(responder));
            config.tcp.serverIp = "127.0.0.1";
            config.tcp.port = tcpPeer.Port();
            config.tcp.timeoutMs = kAnsweredWaitMs;
        } else {
            ASSERT_NE(udpPeer.Port(), 0);
            ASSERT_TRUE(udpPeer.StartScripted(responder));
            config.udp.localIp = "127.0.0.1";
            config.udp.localPort = 0;
            config.udp.remoteIp = "127.0.0.1";
            config.udp.remotePort = udpPeer.Port();
            config.udp.timeoutMs = kAnsweredWaitMs;
        }
        {
            std::lock_guard<std::recursive_mutex> guard(device.GetLock());
            ASSERT_TRUE(device.SetProtocol(c.protocol));
        }
        device.SetCallback(&events);
        device.SetConfig(config);
    }

    std::vector<Bytes> PeerRequests() const {
        return GetParam().commType == CommType::Tcp ? tcpPeer.Requests() : udpPeer.Requests();
    }

    std::atomic<bool> silent{false};
    LoopbackTcpServer tcpPeer;
    LoopbackUdpPeer udpPeer;
    RecordingCallback events;
    Device device; // goes first, before the peers and the receiver
};

TEST_P(DeviceLoopbackTest, ExchangesWithAPeerUntilItFallsSilent) {
    const LoopbackCase &c = GetParam();
    ASSERT_TRUE(device.Connect());
    EXPECT_TRUE(device.IsConnected());
    events.Take();

    const OperationResult read = device.ReadCoils(0, 32);
    EXPECT_TRUE(read.success) << read.message;
    EXPECT_EQ(events.Take(), c.readEvents);

    const OperationResult write = device.WriteCoil(5, 1);
    EXPECT_TRUE(write.success) << write.message;
    EXPECT_EQ(device.GetCachedCoil(5), 1);
    EXPECT_EQ(events.StartingWith("result"), (Lines{"result 5 ok"}));
    const std::vector<Bytes> requests = PeerRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].size(), c.protocol == ProtocolType::ModbusTcp ? 12u : 8u);
    events.Take();

    silent = true;
    DeviceConfig config = device.GetConfig();
    config.receiveTimeout = kSilentWaitMs;
    device.SetConfig(config);
    const OperationResult unanswered = device.ReadCoils(0, 32);
    EXPECT_EQ(unanswered.code, -5);
    EXPECT_EQ(events.StartingWith("log R"),
              (Lines{"log R 接收超时，重试 1/3", "log R 接收超时，重试 2/3",
                     "log R 接收超时，重试 3/3"}));
    EXPECT_EQ(events.lines.back(), "result 1 -5 接收超时");
    EXPECT_EQ(device.GetState(), DeviceState::Connected); // silence alone decides Offline
}

INSTANTIATE_TEST_SUITE_P(
    Loopback, DeviceLoopbackTest,
    ::testing::Values(LoopbackCase{"TcpWithModbusTcp", CommType::Tcp, ProtocolType::ModbusTcp,
                                   ReadEvents(kTcpRead, kTcpAnswer)},
                      LoopbackCase{"TcpWithModbusRtu", CommType::Tcp, ProtocolType::ModbusRtu,
                                   ReadEvents(kRtuRead, kRtuAnswer)},
                      LoopbackCase{"UdpWithModbusRtu", CommType::Udp, ProtocolType::ModbusRtu,
                                   ReadEvents(kRtuRead, kRtuAnswer)},
                      LoopbackCase{"UdpWithModbusTcp", CommType::Udp, ProtocolType::ModbusTcp,
                                   ReadEvents(kTcpRead, kTcpAnswer)}),
    [](const ::testing::TestParamInfo<LoopbackCase> &info) { return info.param.name; });

} // namespace
