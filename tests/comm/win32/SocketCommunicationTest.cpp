// The Winsock TCP and UDP transports against peers on loopback, run under wine in CI.
#include <chrono>
#include <gtest/gtest.h>
#include <winsock2.h>

#include "comm/TcpCommunication.h"
#include "comm/UdpCommunication.h"
#include "support/LoopbackTcpServer.h"
#include "support/LoopbackUdpPeer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The next Receive as bytes; {0xEE, n} when it returned n <= 0.
Bytes Next(ICommunication& transport, int32_t size = 256, int32_t waitMs = 2000) {
    Bytes buffer(static_cast<size_t>(size));
    const int32_t n = transport.Receive(buffer.data(), size, waitMs);
    return n > 0 ? Bytes(buffer.begin(), buffer.begin() + n) : Bytes{0xEE, uint8_t(n)};
}

// What DiscardPending takes without waiting, asked until count bytes have crossed (or 2 s).
Bytes Discarded(ICommunication& transport, size_t count) {
    Bytes dropped(256);
    size_t got = 0;
    for (const auto start = Clock::now(); got < count && MsSince(start) < 2000;) {
        const int32_t n = transport.DiscardPending(dropped.data() + got, int32_t(256 - got));
        if (n < 0)
            break;
        got += size_t(n);
    }
    dropped.resize(got);
    return dropped;
}

// A bound socket: a TCP port that refuses connections, or a UDP port to borrow.
struct RawSocket {
    SOCKET s;
    uint16_t port = 0;
    RawSocket(int type, const char* ip) : s(socket(AF_INET, type, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = inet_addr(ip);
        int length = sizeof address;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~RawSocket() { closesocket(s); }
};

TEST(WinsockTransports, TcpExchangesReconnectsAndSeesThePeerLeave) {
    LoopbackTcpServer first, second;
    TcpCommunication tcp;
    ASSERT_TRUE(tcp.Initialize());
    const TcpConfig config{"127.0.0.1", 0xABCD0000u | first.Port(), 2000}; // low 16 bits
    ASSERT_TRUE(tcp.Configure(&config) && tcp.Open());
    ASSERT_TRUE(first.AcceptClient(2000));
    const Bytes request = {0x01, 0x05, 0x00, 0x03, 0xFF, 0x00};
    EXPECT_EQ(tcp.Send(request.data(), 6), 6);
    EXPECT_EQ(first.ReadRequest(2000), request);
    ASSERT_TRUE(first.WriteAnswer({0x01, 0x01}));
    EXPECT_EQ(Next(tcp), Bytes({0x01, 0x01}));
    ASSERT_TRUE(first.WriteAnswer({0x7E, 0x7F}));
    EXPECT_EQ(Discarded(tcp, 2), Bytes({0x7E, 0x7F}));

    auto start = Clock::now();
    EXPECT_EQ(Next(tcp, 256, 300), Bytes({0xEE, 0}));
    EXPECT_GE(MsSince(start), 290);

    // Open on an open transport connects anew with the latest settings.
    const TcpConfig next{"127.0.0.1", second.Port(), 2000};
    ASSERT_TRUE(tcp.Configure(&next) && tcp.Open());
    ASSERT_TRUE(second.AcceptClient(2000));
    second.CloseClient();
    start = Clock::now();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Next(tcp, 256, 3000), Bytes({0xEE, uint8_t(kReceiveClosed)}));
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_TRUE(tcp.IsOpen());
}

TEST(WinsockTransports, TcpRefusedOrInvalidOpenFailsAtOnce) {
    LoopbackTcpServer server;
    RawSocket refusing(SOCK_STREAM, "127.0.0.1"); // bound, never listening
    const auto start = Clock::now();
    for (const char* ip : {"", "localhost", " 127.0.0.1", "::1", "256.0.0.1"}) {
        TcpCommunication tcp;
        tcp.Initialize();
        const TcpConfig config{ip, server.Port(), 5000};
        EXPECT_FALSE(tcp.Configure(&config) && tcp.Open()) << ip;
    }
    TcpCommunication refused;
    refused.Initialize();
    const TcpConfig config{"127.0.0.1", refusing.port, 5000};
    EXPECT_FALSE(refused.Configure(&config) && refused.Open());
    uint8_t buffer[8] = {};
    EXPECT_EQ(refused.Send(buffer, 3), -1);
    EXPECT_EQ(refused.Receive(buffer, 8, 3000), -1);
    EXPECT_LT(MsSince(start), 2500); // a refusal does not wait out the 5 s
}

TEST(WinsockTransports, UdpTakesTheBoardsDatagramsOnlyAndFailsOversizedOnes) {
    LoopbackUdpPeer device;
    UdpCommunication udp;
    ASSERT_TRUE(udp.Initialize());
    const UdpConfig config{"127.0.0.1", 0, "127.0.0.1", 0x30000u | device.Port(), 2000};
    ASSERT_TRUE(udp.Configure(&config) && udp.Open());
    const Bytes request = {0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66};
    ASSERT_EQ(udp.Send(request.data(), 8), 8);
    Bytes got;
    uint16_t local = 0;
    ASSERT_TRUE(device.ReceiveDatagram(&got, &local, 2000));
    EXPECT_EQ(got, request);
    // Waiting datagrams are dropped whole, those beyond the buffer uncounted.
    ASSERT_TRUE(device.SendTo({0xC1}, local));
    ASSERT_TRUE(device.SendTo(Bytes(300, 0xC4), local));
    ASSERT_TRUE(device.SendTo({0xC5}, local));
    Bytes dropped(256, 0xC4);
    dropped[0] = 0xC1;
    EXPECT_EQ(Discarded(udp, 256), dropped);
    EXPECT_EQ(udp.DiscardPending(nullptr, 0), 0);
    for (size_t size : {1, 256, 257, 1400}) {
        ASSERT_TRUE(device.SendTo(Bytes(size, 0x5A), local));
        ASSERT_TRUE(device.SendTo({0x01}, local));
        EXPECT_EQ(Next(udp), size <= 256 ? Bytes(size, 0x5A) : Bytes({0xEE, 0xFF})) << size;
        EXPECT_EQ(Next(udp), Bytes{0x01});
    }

    // A board at 127.0.0.2: what comes from 127.0.0.1 is dropped unseen, whatever its size.
    uint16_t freePort = 0;
    {
        RawSocket reserve(SOCK_DGRAM, "127.0.0.1");
        freePort = reserve.port;
    }
    UdpCommunication elsewhere;
    elsewhere.Initialize();
    const UdpConfig remote2{"127.0.0.1", freePort, "127.0.0.2", device.Port(), 2000};
    ASSERT_TRUE(elsewhere.Configure(&remote2) && elsewhere.Open());
    ASSERT_TRUE(device.SendTo({0xA1, 0xA2}, freePort));
    ASSERT_TRUE(device.SendTo(Bytes(300, 0xA3), freePort)); // too large, and still no answer
    const auto start = Clock::now();
    EXPECT_EQ(Next(elsewhere, 256, 300), Bytes({0xEE, 0}));
    EXPECT_GE(MsSince(start), 290);

    // A request to a closed port must not turn the next receive into an error.
    UdpCommunication lost;
    lost.Initialize();
    const UdpConfig toNowhere{"127.0.0.1", 0, "127.0.0.1", freePort, 2000};
    ASSERT_TRUE(lost.Configure(&toNowhere) && lost.Open());
    elsewhere.Close();
    ASSERT_EQ(lost.Send(request.data(), 8), 8);
    EXPECT_EQ(Next(lost, 256, 300), Bytes({0xEE, 0}));
}

TEST(WinsockTransports, UdpBindConflictOrBadRemoteFails) {
    LoopbackUdpPeer occupant;
    for (const char* remoteIp : {"", "localhost", "127.0.0.1 ", "::1"}) {
        UdpCommunication udp;
        udp.Initialize();
        const UdpConfig config{"127.0.0.1", 0, remoteIp, occupant.Port(), 2000};
        EXPECT_FALSE(udp.Configure(&config) && udp.Open()) << remoteIp;
    }
    UdpCommunication anywhere, conflicting;
    anywhere.Initialize();
    conflicting.Initialize();
    const UdpConfig unparsed{"not-an-address", 0, "127.0.0.1", occupant.Port(), 2000};
    EXPECT_TRUE(anywhere.Configure(&unparsed) && anywhere.Open()); // binds everywhere
    const UdpConfig taken{"127.0.0.1", occupant.Port(), "127.0.0.1", 9, 2000};
    EXPECT_FALSE(conflicting.Configure(&taken) && conflicting.Open());
}

} // namespace
