// The TCP and UDP transports against real peers on loopback; the same suite runs on Linux and,
// over Winsock, under wine.
#include <chrono>
#include <gtest/gtest.h>
#include <memory>

#include "comm/TcpCommunication.h"
#include "comm/UdpCommunication.h"
#include "support/LoopbackSocket.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool OpenTcp(TcpCommunication& tcp, uint32_t port, uint32_t timeoutMs = 2000,
             const char* ip = "127.0.0.1") {
    const TcpConfig config{ip, port, timeoutMs};
    return tcp.Initialize() && tcp.Configure(&config) && tcp.Open();
}

bool OpenUdp(UdpCommunication& udp, uint32_t remotePort, uint32_t localPort = 0,
             const char* localIp = "127.0.0.1", const char* remoteIp = "127.0.0.1") {
    const UdpConfig config{localIp, localPort, remoteIp, remotePort, 2000};
    return udp.Initialize() && udp.Configure(&config) && udp.Open();
}

// A device's end of a TCP connection: listening at once, one client at a time.
struct TcpPeer {
    explicit TcpPeer(int backlog = 4) { listener.Listen(backlog); }
    bool Accept() { return listener.Accept(client, 2000); }
    // One read of what the client sent; empty on time-out or when it has gone.
    Bytes Read() {
        Bytes bytes;
        client.Receive(bytes, nullptr, 2000);
        return bytes;
    }
    LoopbackSocket listener{true}, client;
};

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

// Nothing to read: Receive gives 0 after about the wait, and a negative wait is no wait.
void ExpectQuietReceives(ICommunication& transport) {
    auto start = Clock::now();
    EXPECT_EQ(Next(transport, 256, 300), Bytes({0xEE, 0}));
    EXPECT_GE(MsSince(start), 290);
    start = Clock::now();
    EXPECT_EQ(Next(transport, 256, -1), Bytes({0xEE, 0}));
    EXPECT_LT(MsSince(start), 200);
}

TEST(TcpCommunication, ExchangesAndReturnsWhatIsThereSoASplitAnswerTakesTwoReceives) {
    TcpPeer device;
    TcpCommunication tcp;
    ASSERT_TRUE(OpenTcp(tcp, 0xABCD0000u | device.listener.Port())); // the low 16 bits count
    ASSERT_TRUE(device.Accept());
    const Bytes request = {0x01, 0x05, 0x00, 0x03, 0xFF, 0x00};
    EXPECT_EQ(tcp.Send(request.data(), 6), 6);
    EXPECT_EQ(device.Read(), request);
    for (const Bytes& part : {Bytes{0x01, 0x01}, Bytes{0x04, 0xAA, 0xBB}}) {
        ASSERT_TRUE(device.client.Send(part));
        EXPECT_EQ(Next(tcp), part);
    }
    ASSERT_TRUE(device.client.Send({0x7E, 0x7F}));
    EXPECT_EQ(Discarded(tcp, 2), Bytes({0x7E, 0x7F}));
    ExpectQuietReceives(tcp);
    EXPECT_EQ(tcp.DiscardPending(nullptr, 0), 0);
}

TEST(TcpCommunication, ConnectGivesUpAfterItsTimeoutWhenTheHandshakeHangs) {
    // A listener that never accepts, with its queue filled until a connect no longer
    // completes: further handshakes to it then hang.
    TcpPeer device(0);
    std::unique_ptr<LoopbackSocket> queue[16];
    bool full = false;
    for (size_t i = 0; i < 16 && !full; ++i)
        full = !(queue[i] = std::make_unique<LoopbackSocket>(true))
                    ->Connect(device.listener.Port(), 300);
    if (!full)
        GTEST_SKIP() << "this system completes every handshake to a full queue";
    TcpCommunication tcp;
    const auto start = Clock::now();
    EXPECT_FALSE(OpenTcp(tcp, device.listener.Port(), 700));
    EXPECT_GE(MsSince(start), 690);
    EXPECT_LT(MsSince(start), 5000);
}

TEST(TcpCommunication, PeerThatLeftIsToldAtOnceAndSendFailsWithoutSignal) {
    TcpPeer device;
    TcpCommunication tcp;
    ASSERT_TRUE(OpenTcp(tcp, device.listener.Port()));
    ASSERT_TRUE(device.Accept());
    device.client.Close();
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Next(tcp, 256, 3000), Bytes({0xEE, uint8_t(kReceiveClosed)}));
    uint8_t buffer[8] = {};
    EXPECT_EQ(tcp.DiscardPending(buffer, 8), kReceiveClosed);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_TRUE(tcp.IsOpen()); // the Device decides what a gone peer means
    // The first sends may still be taken; then EPIPE must come back as -1, not SIGPIPE.
    int32_t sent = 0;
    for (int i = 0; i < 50 && sent != -1; ++i)
        sent = tcp.Send(buffer, 8);
    EXPECT_EQ(sent, -1);
}

TEST(TcpCommunication, RefusedOrInvalidOpenFailsAtOnceAndNoHandleIsLeft) {
    TcpPeer device(64);
    LoopbackSocket refusing(true); // bound, never listening
    const int before = OpenHandleCount();
    const auto start = Clock::now();
    // Names are the caller's to look up; nothing listens on ::1.
    for (const char* ip : {"", "localhost", " 127.0.0.1", "[::1]", "::1", "256.0.0.1"}) {
        TcpCommunication tcp;
        EXPECT_FALSE(OpenTcp(tcp, device.listener.Port(), 5000, ip)) << ip;
    }
    EXPECT_FALSE(device.listener.Accept(device.client, 0));
    for (int i = 0; i < 20; ++i) {
        TcpCommunication tcp, refused;
        EXPECT_FALSE(OpenTcp(refused, refusing.Port(), 5000));
        uint8_t buffer[8] = {};
        EXPECT_EQ(refused.Send(buffer, 3), -1);
        EXPECT_EQ(refused.Receive(buffer, 8, 3000), -1);
        EXPECT_TRUE(OpenTcp(tcp, device.listener.Port()));
        EXPECT_TRUE(tcp.Open()); // reopen over an open connection
        if (i % 2 == 0)
            tcp.Close(); // otherwise the destructor closes it
    }
    EXPECT_LT(MsSince(start), 3000); // a refusal does not wait out the 5 s
    EXPECT_EQ(OpenHandleCount(), before);
}

TEST(UdpCommunication, ExchangesOneDatagramPerReceiveFromTheRemoteIpAndDropsOversizedOnes) {
    LoopbackSocket device(false), otherPort(false);
    UdpCommunication udp, elsewhere;
    ASSERT_TRUE(OpenUdp(udp, 0x30000u | device.Port())); // only the low 16 bits count
    const Bytes request = {0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66};
    ASSERT_EQ(udp.Send(request.data(), 8), 8);
    Bytes got;
    uint16_t local = 0;
    ASSERT_EQ(device.Receive(got, &local, 2000), 8);
    EXPECT_EQ(got, request);
    // Another port of the board's IP is heard; for a board at 127.0.0.2, what comes from
    // 127.0.0.1 is dropped unseen, however well-formed or large.
    ASSERT_TRUE(otherPort.Send({0xA1, 0xA2, 0xA3}, local));
    ASSERT_TRUE(device.Send({0xB1}, local));
    EXPECT_EQ(Next(udp), Bytes({0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(Next(udp), Bytes{0xB1});
    const uint16_t spare = LoopbackSocket(false).Port();
    ASSERT_TRUE(OpenUdp(elsewhere, device.Port(), spare, "127.0.0.1", "127.0.0.2"));
    ASSERT_TRUE(device.Send(request, spare));
    ASSERT_TRUE(device.Send(Bytes(300, 0xA0), spare));
    EXPECT_EQ(Next(elsewhere, 256, 300), Bytes({0xEE, 0}));
    // Waiting datagrams are dropped whole, those beyond the buffer uncounted.
    ASSERT_TRUE(otherPort.Send({0xC1}, local));
    ASSERT_TRUE(device.Send({0xC2, 0xC3}, local));
    EXPECT_EQ(Discarded(udp, 3), Bytes({0xC1, 0xC2, 0xC3}));
    ASSERT_TRUE(device.Send(Bytes(300, 0xC4), local));
    ASSERT_TRUE(device.Send({0xC5}, local));
    EXPECT_EQ(Discarded(udp, 256), Bytes(256, 0xC4));
    EXPECT_EQ(udp.DiscardPending(nullptr, 0), 0);
    // A datagram larger than the buffer is an error, and what follows is the next
    // datagram rather than its rest.
    for (size_t size : {1, 256, 257, 1400}) {
        ASSERT_TRUE(device.Send(Bytes(size, 0x5A), local));
        ASSERT_TRUE(device.Send({0x01}, local));
        EXPECT_EQ(Next(udp), size <= 256 ? Bytes(size, 0x5A) : Bytes({0xEE, 0xFF})) << size;
        EXPECT_EQ(Next(udp), Bytes{0x01});
    }
    ExpectQuietReceives(udp);
    // A request to a port nobody holds any more does not turn the next receive into an error.
    ASSERT_TRUE(OpenUdp(elsewhere, spare));
    ASSERT_EQ(elsewhere.Send(request.data(), 8), 8);
    EXPECT_EQ(Next(elsewhere, 256, 300), Bytes({0xEE, 0}));
    // Open on an open transport lets its socket go first: the same fixed port binds again.
    ASSERT_TRUE(OpenUdp(udp, device.Port(), local));
    ASSERT_EQ(udp.Send(request.data(), 8), 8);
    uint16_t from = 0;
    ASSERT_EQ(device.Receive(got, &from, 2000), 8);
    EXPECT_EQ(from, local);
}

TEST(UdpCommunication, BindConflictOrBadRemoteFailsAndNoHandleIsLeft) {
    LoopbackSocket occupant(false);
    const int before = OpenHandleCount();
    for (const char* localIp : {"", "not-an-address", "0.0.0.0"}) { // bind everywhere
        UdpCommunication udp;
        EXPECT_TRUE(OpenUdp(udp, occupant.Port(), 0, localIp)) << localIp;
    }
    for (const char* remoteIp : {"", "localhost", "127.0.0.1 ", "[::1]"}) {
        UdpCommunication udp;
        EXPECT_FALSE(OpenUdp(udp, occupant.Port(), 0, "127.0.0.1", remoteIp)) << remoteIp;
    }
    for (int i = 0; i < 20; ++i) {
        UdpCommunication udp, conflicting;
        EXPECT_TRUE(OpenUdp(udp, occupant.Port()));
        EXPECT_TRUE(udp.Open());
        if (i % 2 == 0)
            udp.Close();
        EXPECT_FALSE(OpenUdp(conflicting, 9, occupant.Port())); // the port is taken
    }
    EXPECT_EQ(OpenHandleCount(), before);
}

} // namespace
