#include "comm/UdpCommunication.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/LoopbackUdpPeer.h"
#include "support/OpenDescriptors.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

UdpConfig ConfigFor(uint32_t remotePort, std::string localIp = "127.0.0.1", uint32_t localPort = 0,
                    std::string remoteIp = "127.0.0.1") {
    UdpConfig config;
    config.localIp = std::move(localIp);
    config.localPort = localPort;
    config.remoteIp = std::move(remoteIp);
    config.remotePort = remotePort;
    config.timeoutMs = 2000;
    return config;
}

void OpenWith(UdpCommunication &udp, const UdpConfig &config) {
    udp.Initialize();
    ASSERT_TRUE(udp.Configure(&config));
    udp.Open();
}

// Sends one byte through the transport and returns the port the peer saw it from
// (0 when nothing arrived).
uint16_t LocalPortOf(UdpCommunication &udp, LoopbackUdpPeer &peer) {
    const uint8_t probe = 0x55;
    LoopbackUdpPeer::Datagram datagram;
    if (udp.Send(&probe, 1) != 1 || !peer.ReceiveDatagram(&datagram, 2000))
        return 0;
    return datagram.senderPort;
}

} // namespace

TEST(UdpCommunication, ExchangesDatagramsAndUsesOnlyTheLow16BitsOfThePort) {
    LoopbackUdpPeer device;
    ASSERT_NE(device.Port(), 0);
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(0x30000u | device.Port()));
    ASSERT_TRUE(udp.IsOpen());

    const Bytes request = {0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66};
    ASSERT_EQ(udp.Send(request.data(), 8), 8);
    LoopbackUdpPeer::Datagram got;
    ASSERT_TRUE(device.ReceiveDatagram(&got, 2000));
    EXPECT_EQ(got.bytes, request);

    ASSERT_TRUE(device.SendTo({0x22, 0x01}, got.senderPort));
    uint8_t buffer[256];
    ASSERT_EQ(udp.Receive(buffer, 256, 2000), 2);
    EXPECT_EQ(Bytes(buffer, buffer + 2), Bytes({0x22, 0x01}));
}

TEST(UdpCommunication, EachReceiveReturnsOneDatagramFromAnySender) {
    LoopbackUdpPeer device;
    LoopbackUdpPeer stranger;
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(device.Port()));
    const uint16_t local = LocalPortOf(udp, device);
    ASSERT_NE(local, 0);

    ASSERT_TRUE(stranger.SendTo({0xA1, 0xA2, 0xA3}, local));
    ASSERT_TRUE(device.SendTo({0xB1}, local));
    uint8_t buffer[256];
    ASSERT_EQ(udp.Receive(buffer, 256, 2000), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), Bytes({0xA1, 0xA2, 0xA3}));
    ASSERT_EQ(udp.Receive(buffer, 256, 2000), 1);
    EXPECT_EQ(buffer[0], 0xB1);
}

TEST(UdpCommunication, DatagramLargerThanTheBufferIsAnErrorAndIsDropped) {
    LoopbackUdpPeer device;
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(device.Port()));
    const uint16_t local = LocalPortOf(udp, device);
    ASSERT_NE(local, 0);
    struct Case {
        size_t size;
        int32_t expected;
    };
    for (const Case &c : {Case{255, 255}, Case{256, 256}, Case{257, -1}, Case{1400, -1}}) {
        SCOPED_TRACE(c.size);
        ASSERT_TRUE(device.SendTo(Bytes(c.size, 0x5A), local));
        ASSERT_TRUE(device.SendTo({0x01}, local));
        uint8_t buffer[256];
        EXPECT_EQ(udp.Receive(buffer, 256, 2000), c.expected);
        // What follows is the next datagram, not the rest of the large one.
        EXPECT_EQ(udp.Receive(buffer, 256, 2000), 1);
        EXPECT_EQ(buffer[0], 0x01);
    }
}

TEST(UdpCommunication, ReceiveWithNothingToReadWaitsAboutTheWaitTime) {
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(9));
    ASSERT_TRUE(udp.IsOpen());
    struct Case {
        int32_t waitMs;
        int64_t minMs;
        int64_t maxMs;
    };
    for (const Case &c : {Case{300, 300, 3000}, Case{0, 0, 200}, Case{-1, 0, 200}}) {
        SCOPED_TRACE(c.waitMs);
        uint8_t buffer[256];
        const auto start = Clock::now();
        EXPECT_EQ(udp.Receive(buffer, 256, c.waitMs), 0);
        EXPECT_GE(MsSince(start), c.minMs);
        EXPECT_LT(MsSince(start), c.maxMs);
    }
}

TEST(UdpCommunication, BindConflictFailsOpen) {
    LoopbackUdpPeer occupant;
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(9, "127.0.0.1", occupant.Port()));
    EXPECT_FALSE(udp.IsOpen());
}

TEST(UdpCommunication, ReopenBindsAnewEvenOnAFixedLocalPort) {
    LoopbackUdpPeer device;
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(device.Port()));
    const uint16_t chosen = LocalPortOf(udp, device);
    ASSERT_NE(chosen, 0);

    // The high bits of localPort are ignored as well.
    OpenWith(udp, ConfigFor(device.Port(), "127.0.0.1", 0x10000u | chosen));
    ASSERT_TRUE(udp.IsOpen());
    EXPECT_EQ(LocalPortOf(udp, device), chosen);
    EXPECT_TRUE(udp.Open());
    EXPECT_EQ(LocalPortOf(udp, device), chosen);
}

TEST(UdpCommunication, UnparsableLocalAddressBindsEverywhereButRemoteMustBeDottedIPv4) {
    LoopbackUdpPeer device;
    for (const char *localIp : {"", "not-an-address", "0.0.0.0"}) {
        SCOPED_TRACE(localIp);
        UdpCommunication udp;
        OpenWith(udp, ConfigFor(device.Port(), localIp));
        ASSERT_TRUE(udp.IsOpen());
        EXPECT_NE(LocalPortOf(udp, device), 0);
    }
    for (const char *remoteIp : {"", "localhost", "127.0.0.1 ", "::1", "127.1"}) {
        SCOPED_TRACE(remoteIp);
        UdpCommunication udp;
        OpenWith(udp, ConfigFor(device.Port(), "127.0.0.1", 0, remoteIp));
        EXPECT_FALSE(udp.IsOpen());
    }
    LoopbackUdpPeer::Datagram stray;
    EXPECT_FALSE(device.ReceiveDatagram(&stray, 100));
}

TEST(UdpCommunication, NullConfigurationIsRefusedAndKeepsTheSettings) {
    LoopbackUdpPeer device;
    UdpCommunication udp;
    const UdpConfig config = ConfigFor(device.Port());
    ASSERT_TRUE(udp.Configure(&config));
    EXPECT_FALSE(udp.Configure(nullptr));
    ASSERT_TRUE(udp.Open());
    EXPECT_NE(LocalPortOf(udp, device), 0);
}

TEST(UdpCommunication, ClosedTransportAndBadArgumentsFailAtOnce) {
    UdpCommunication udp;
    uint8_t buffer[16] = {};
    EXPECT_EQ(udp.Send(buffer, 4), -1);
    EXPECT_EQ(udp.Receive(buffer, 16, 5000), -1);

    // The settings at creation open: every local address, a port of the system's choice.
    ASSERT_TRUE(udp.Open());
    EXPECT_EQ(udp.Send(buffer, -1), -1);
    EXPECT_EQ(udp.Receive(nullptr, 16, 5000), -1);
    EXPECT_EQ(udp.Receive(buffer, -1, 5000), -1);

    udp.Close();
    udp.Close();
    const auto start = Clock::now();
    EXPECT_EQ(udp.Send(buffer, 4), -1);
    EXPECT_EQ(udp.Receive(buffer, 16, 5000), -1);
    EXPECT_LT(MsSince(start), 1000);
}

TEST(UdpCommunication, LeavesNoDescriptorBehind) {
    LoopbackUdpPeer occupant;
    const int before = CountOpenDescriptors();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 20; ++i) {
        UdpCommunication udp;
        OpenWith(udp, ConfigFor(occupant.Port()));
        EXPECT_TRUE(udp.Open());
        if (i % 2 == 0)
            udp.Close();
        UdpCommunication conflicting;
        OpenWith(conflicting, ConfigFor(9, "127.0.0.1", occupant.Port()));
        UdpCommunication invalid;
        OpenWith(invalid, ConfigFor(9, "127.0.0.1", 0, "no.such.host"));
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST(UdpCommunication, ScriptedPeerAnswersEachDatagramToItsSender) {
    LoopbackUdpPeer device;
    ASSERT_TRUE(device.StartScripted([](const Bytes &request) {
        return request.size() == 1 ? Bytes{static_cast<uint8_t>(request[0] + 1)} : Bytes{};
    }));
    UdpCommunication udp;
    OpenWith(udp, ConfigFor(device.Port()));
    for (uint8_t value : {0x10, 0x20}) {
        ASSERT_EQ(udp.Send(&value, 1), 1);
        uint8_t answer = 0;
        ASSERT_EQ(udp.Receive(&answer, 1, 2000), 1);
        EXPECT_EQ(answer, value + 1);
    }
    device.StopScripted();
    EXPECT_EQ(device.Requests(), (std::vector<Bytes>{{0x10}, {0x20}}));
}
