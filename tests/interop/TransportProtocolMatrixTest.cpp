// Every protocol over every real transport, end to end: a Device with its real transport,
// and at the far end the simulator's board, which was written apart from the tool's
// protocol code. Connect, read coils and inputs, switch a coil.
#include <gtest/gtest.h>
#include <mutex>
#include <tuple>

#include "Board.h"
#include "RequestDecoder.h"
#include "Responder.h"
#include "device/Device.h"
#include "support/LoopbackTcpServer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/PtyPair.h"

namespace {

constexpr uint32_t kCoils = 0x80000205;  // coils 0, 2, 9, 31
constexpr uint32_t kInputs = 0x40000102; // inputs 1, 8, 30

using Combination = std::tuple<CommType, ProtocolType>;

class TransportProtocolMatrix : public ::testing::TestWithParam<Combination> {
protected:
    std::mutex boardLock; // the peer's thread answers while the test reads the board
    Board board{kCoils, kInputs, InputMode::Fixed};
    Responder responder{board, 7};
    LoopbackTcpServer tcp;
    LoopbackUdpPeer udp;
    PtyPair pty;
    Device device; // goes first, before its peers
};

TEST_P(TransportProtocolMatrix, ConnectsReadsAndSwitches) {
    const auto [transport, protocol] = GetParam();
    const WireProtocol wire[] = {WireProtocol::ModbusRtu, WireProtocol::ModbusTcp,
                                 WireProtocol::Protocol55};
    const RequestDecoder decoder(wire[static_cast<int>(protocol)]);
    auto answer = [this, decoder](const std::vector<uint8_t>& request) {
        const RequestDecoder::Result r = decoder.Decode(request.data(), request.size());
        std::lock_guard<std::mutex> guard(boardLock);
        return r.status == RequestDecoder::Status::Complete ? responder.Handle(r.request).bytes
                                                            : std::vector<uint8_t>();
    };
    DeviceConfig config;
    config.commType = transport;
    config.protocolType = protocol;
    config.slaveAddress = 7;
    config.receiveTimeout = 1000;
    config.serial.portName = pty.SlavePath();
    config.tcp.port = tcp.Port();
    config.udp = {"127.0.0.1", 0, "127.0.0.1", udp.Port()};
    ASSERT_TRUE(transport == CommType::Serial ? pty.StartScripted(answer)
                : transport == CommType::Tcp  ? tcp.StartScripted(answer)
                                              : udp.StartScripted(answer));
    {
        std::lock_guard<std::recursive_mutex> guard(device.GetLock());
        ASSERT_TRUE(device.SetProtocol(protocol));
    }
    device.SetConfig(config);
    ASSERT_TRUE(device.Connect());

    OperationResult r = device.ReadCoils(0, 32);
    ASSERT_TRUE(r.success) << r.code << " " << r.message;
    r = device.ReadInputs(0, 32);
    ASSERT_TRUE(r.success) << r.code << " " << r.message;
    // The relay protocol carries no inputs: they stay off.
    const uint32_t inputs = protocol == ProtocolType::Protocol55 ? 0 : kInputs;
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(device.GetCachedCoil(i), kCoils >> i & 1) << i;
        EXPECT_EQ(device.GetCachedInput(i), inputs >> i & 1) << i;
    }
    r = device.WriteCoil(4, 1);
    ASSERT_TRUE(r.success) << r.code << " " << r.message;
    EXPECT_EQ(device.GetCachedCoil(4), 1);
    std::lock_guard<std::mutex> guard(boardLock);
    EXPECT_EQ(board.CoilWord(), kCoils | 1u << 4);
}

std::string Name(const ::testing::TestParamInfo<Combination>& info) {
    const char* transports[] = {"None", "Serial", "Tcp", "Udp"};
    const char* protocols[] = {"ModbusRtu", "ModbusTcp", "Protocol55"};
    return std::string(protocols[static_cast<int>(std::get<1>(info.param))]) + "Over" +
           transports[static_cast<int>(std::get<0>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    All, TransportProtocolMatrix,
    ::testing::Combine(::testing::Values(CommType::Serial, CommType::Tcp, CommType::Udp),
                       ::testing::Values(ProtocolType::ModbusRtu, ProtocolType::ModbusTcp,
                                         ProtocolType::Protocol55)),
    Name);

} // namespace
