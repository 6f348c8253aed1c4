// Every protocol over every real transport, end to end: a Device, the real transport and a
// scripted board at the far end that answers correctly. Connect, read coils, read inputs,
// switch a coil.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "ReferenceBoard.h"
#include "device/Device.h"
#include "support/LoopbackTcpServer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/RecordingCallback.h"
#include "support/ScriptedPtyPeer.h"

namespace {

struct Combination {
    CommType transport;
    ProtocolType protocol;
};

std::string Name(const ::testing::TestParamInfo<Combination>& info) {
    const char* transports[] = {"None", "Serial", "Tcp", "Udp"};
    const char* protocols[] = {"ModbusRtu", "ModbusTcp", "Protocol55"};
    return std::string(protocols[static_cast<int>(info.param.protocol)]) + "Over" +
           transports[static_cast<int>(info.param.transport)];
}

class TransportProtocolMatrix : public ::testing::TestWithParam<Combination> {
protected:
    void SetUp() override {
        const Combination c = GetParam();
        board = std::make_unique<ReferenceBoard>(c.protocol, 7);
        for (int i : {0, 2, 9, 31})
            board->SetCoil(i, true);
        for (int i : {1, 8, 30})
            board->SetInput(i, true);
        auto answer = [this](const std::vector<uint8_t>& request) {
            return board->Answer(request);
        };

        DeviceConfig config;
        config.commType = c.transport;
        config.protocolType = c.protocol;
        config.slaveAddress = 7;
        config.receiveTimeout = 1000;
        switch (c.transport) {
        case CommType::Serial:
            serialPeer = std::make_unique<ScriptedPtyPeer>(answer);
            ASSERT_TRUE(serialPeer->Ok());
            config.serial.portName = serialPeer->SlavePath();
            break;
        case CommType::Tcp:
            tcpPeer = std::make_unique<LoopbackTcpServer>();
            ASSERT_NE(tcpPeer->Port(), 0);
            ASSERT_TRUE(tcpPeer->StartScripted(answer));
            config.tcp.serverIp = "127.0.0.1";
            config.tcp.port = tcpPeer->Port();
            break;
        default:
            udpPeer = std::make_unique<LoopbackUdpPeer>();
            ASSERT_NE(udpPeer->Port(), 0);
            ASSERT_TRUE(udpPeer->StartScripted(answer));
            config.udp.localIp = "127.0.0.1";
            config.udp.remoteIp = "127.0.0.1";
            config.udp.remotePort = udpPeer->Port();
            break;
        }
        device.SetCallback(&events);
        {
            std::lock_guard<std::recursive_mutex> guard(device.GetLock());
            ASSERT_TRUE(device.SetProtocol(c.protocol));
        }
        device.SetConfig(config);
    }

    void TearDown() override { device.Disconnect(); }

    std::unique_ptr<ReferenceBoard> board;
    std::unique_ptr<ScriptedPtyPeer> serialPeer;
    std::unique_ptr<LoopbackTcpServer> tcpPeer;
    std::unique_ptr<LoopbackUdpPeer> udpPeer;
    RecordingCallback events;
    Device device;
};

TEST_P(TransportProtocolMatrix, ConnectsReadsAndSwitches) {
    ASSERT_TRUE(device.Connect());
    EXPECT_EQ(device.GetState(), DeviceState::Connected);

    OperationResult r = device.ReadCoils(0, 32);
    ASSERT_TRUE(r.success) << r.code << " " << r.message;
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(device.GetCachedCoil(i), board->Coil(i)) << i;

    r = device.ReadInputs(0, 32);
    ASSERT_TRUE(r.success) << r.code << " " << r.message;
    // The relay protocol has no inputs: they stay OFF there.
    const bool hasInputs = GetParam().protocol != ProtocolType::Protocol55;
    for (int i = 0; i < 32; ++i) {
        const bool on = hasInputs && (i == 1 || i == 8 || i == 30);
        EXPECT_EQ(device.GetCachedInput(i), on ? 1 : 0) << i;
    }

    r = device.WriteCoil(4, 1);
    ASSERT_TRUE(r.success) << r.code << " " << r.message;
    EXPECT_TRUE(board->Coil(4));
    EXPECT_EQ(device.GetCachedCoil(4), 1);
    EXPECT_EQ(device.GetCachedCoil(2), 1); // untouched by the switch
    EXPECT_EQ(device.GetState(), DeviceState::Connected);
}

INSTANTIATE_TEST_SUITE_P(All, TransportProtocolMatrix,
                         ::testing::Values(Combination{CommType::Serial, ProtocolType::ModbusRtu},
                                           Combination{CommType::Serial, ProtocolType::ModbusTcp},
                                           Combination{CommType::Serial, ProtocolType::Protocol55},
                                           Combination{CommType::Tcp, ProtocolType::ModbusRtu},
                                           Combination{CommType::Tcp, ProtocolType::ModbusTcp},
                                           Combination{CommType::Tcp, ProtocolType::Protocol55},
                                           Combination{CommType::Udp, ProtocolType::ModbusRtu},
                                           Combination{CommType::Udp, ProtocolType::ModbusTcp},
                                           Combination{CommType::Udp, ProtocolType::Protocol55}),
                         Name);

} // namespace
