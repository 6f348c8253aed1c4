// The TCP and UDP transports against real peers on loopback.
#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/TcpCommunication.h"
#include "comm/UdpCommunication.h"
#include "support/LoopbackTcpServer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/OpenDescriptors.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool OpenTcp(TcpCommunication& tcp, uint32_t port, uint32_t timeoutMs = 2000,
             const char* ip = "127.0.0.1") {
    const TcpConfig config{ip, port, timeoutMs};
    return tcp.Configure(&config) && tcp.Open();
}

bool OpenUdp(UdpCommunication& udp, uint32_t remotePort, uint32_t localPort = 0,
             const char* localIp = "127.0.0.1", const char* remoteIp = "127.0.0.1") {
    const UdpConfig config{localIp, localPort, remoteIp, remotePort, 2000};
    return udp.Configure(&config) && udp.Open();
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

// Nothing to read: Receive gives 0 after about the wait, and a negative wait is no wait.
void ExpectQuietReceives(ICommunication& transport) {
    auto start = Clock::now();
    EXPECT_EQ(Next(transport, 256, 300), Bytes({0xEE, 0}));
    EXPECT_GE(MsSince(start), 300);
    start = Clock::now();
    EXPECT_EQ(Next(transport, 256, -1), Bytes({0xEE, 0}));
    EXPECT_LT(MsSince(start), 200);
}

// A TCP socket bound on loopback but not listening: connecting to its port is refused.
struct BoundSocket {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    BoundSocket() {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    BoundSocket(const BoundSocket&) = delete;
    ~BoundSocket() { close(fd); }
};

TEST(TcpCommunication, ExchangesAndReturnsWhatIsThereSoASplitAnswerTakesTwoReceives) {
    LoopbackTcpServer server;
    TcpCommunication tcp;
    ASSERT_TRUE(OpenTcp(tcp, 0xABCD0000u | server.Port())); // only the low 16 bits count
    ASSERT_TRUE(server.AcceptClient(2000));
    const Bytes request = {0x01, 0x05, 0x00, 0x03, 0xFF, 0x00};
    EXPECT_EQ(tcp.Send(request.data(), 6), 6);
    EXPECT_EQ(server.ReadRequest(2000), request);
    ASSERT_TRUE(server.WriteAnswer({0x01, 0x01}));
    EXPECT_EQ(Next(tcp), Bytes({0x01, 0x01}));
    ASSERT_TRUE(server.WriteAnswer({0x04, 0xAA, 0xBB}));
    EXPECT_EQ(Next(tcp), Bytes({0x04, 0xAA, 0xBB}));
    ASSERT_TRUE(server.WriteAnswer({0x7E, 0x7F}));
    EXPECT_EQ(Discarded(tcp, 2), Bytes({0x7E, 0x7F}));
    ExpectQuietReceives(tcp);
    EXPECT_EQ(tcp.DiscardPending(nullptr, 0), 0);
}

TEST(TcpCommunication, ConnectGivesUpAfterItsTimeoutWhenTheHandshakeHangs) {
    // A listener that never accepts, with its queue filled until a connect no longer
    // completes: further handshakes to it then hang.
    LoopbackTcpServer server(0);
    const sockaddr_in address{AF_INET, htons(server.Port()), {htonl(INADDR_LOOPBACK)}, {}};
    std::vector<BoundSocket> queue(16);
    bool full = false;
    for (size_t i = 0; i < queue.size() && !full; ++i) {
        const int fd = queue[i].fd;
        fcntl(fd, F_SETFL, O_NONBLOCK);
        pollfd p{fd, POLLOUT, 0};
        full = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
               poll(&p, 1, 300) == 0;
    }
    ASSERT_TRUE(full) << "the listener kept completing handshakes";
    TcpCommunication tcp;
    const auto start = Clock::now();
    EXPECT_FALSE(OpenTcp(tcp, server.Port(), 700));
    EXPECT_GE(MsSince(start), 690);
    EXPECT_LT(MsSince(start), 5000);
}

TEST(TcpCommunication, PeerThatLeftIsToldAtOnceAndSendFailsWithoutSignal) {
    LoopbackTcpServer server;
    TcpCommunication tcp;
    ASSERT_TRUE(OpenTcp(tcp, server.Port()));
    ASSERT_TRUE(server.AcceptClient(2000));
    server.CloseClient();
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Next(tcp, 256, 3000), Bytes({0xEE, uint8_t(kReceiveClosed)}));
    uint8_t buffer[8] = {};
    EXPECT_EQ(tcp.DiscardPending(buffer, 8), kReceiveClosed);
    EXPECT_LT(MsSince(start), 2000);
    // The first sends may still be taken; then EPIPE must come back as -1, not SIGPIPE.
    int32_t sent = 0;
    for (int i = 0; i < 50 && sent != -1; ++i)
        sent = tcp.Send(buffer, 8);
    EXPECT_EQ(sent, -1);
}

TEST(TcpCommunication, OpenOnAnOpenTransportReconnectsWithTheLatestSettings) {
    LoopbackTcpServer first, second;
    TcpCommunication tcp;
    ASSERT_TRUE(OpenTcp(tcp, first.Port()));
    ASSERT_TRUE(first.AcceptClient(2000));
    const TcpConfig next{"127.0.0.1", second.Port(), 2000};
    ASSERT_TRUE(tcp.Configure(&next)); // takes effect at the next Open only
    const uint8_t byte = 0x7E;
    ASSERT_EQ(tcp.Send(&byte, 1), 1);
    EXPECT_EQ(first.ReadRequest(2000), Bytes{0x7E});
    ASSERT_TRUE(tcp.Open());
    ASSERT_TRUE(second.AcceptClient(2000));
    ASSERT_EQ(tcp.Send(&byte, 1), 1);
    EXPECT_EQ(second.ReadRequest(2000), Bytes{0x7E});
}

TEST(TcpCommunication, RefusedOrInvalidOpenFailsAtOnceAndNoDescriptorIsLeft) {
    LoopbackTcpServer server(64);
    BoundSocket refusing;
    const int before = CountOpenDescriptors();
    const auto start = Clock::now();
    // Names are the caller's to look up; nothing listens on ::1.
    for (const char* ip : {"", "localhost", " 127.0.0.1", "[::1]", "::1", "256.0.0.1"}) {
        TcpCommunication tcp;
        EXPECT_FALSE(OpenTcp(tcp, server.Port(), 5000, ip)) << ip;
    }
    EXPECT_FALSE(server.AcceptClient(0));
    for (int i = 0; i < 20; ++i) {
        TcpCommunication tcp, refused;
        EXPECT_FALSE(OpenTcp(refused, refusing.port, 5000));
        uint8_t buffer[8] = {};
        EXPECT_EQ(refused.Send(buffer, 3), -1);
        EXPECT_EQ(refused.Receive(buffer, 8, 3000), -1);
        EXPECT_TRUE(OpenTcp(tcp, server.Port()));
        EXPECT_TRUE(tcp.Open()); // reopen over an open connection
        if (i % 2 == 0)
            tcp.Close(); // otherwise the destructor closes it
    }
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST(UdpCommunication, ExchangesOneDatagramPerReceiveFromTheRemoteIpAndDropsOversizedOnes) {
    LoopbackUdpPeer device, otherPort, stranger(0x7F000002);
    ASSERT_NE(stranger.Port(), 0);
    UdpCommunication udp;
    ASSERT_TRUE(OpenUdp(udp, 0x30000u | device.Port())); // only the low 16 bits count
    const Bytes request = {0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66};
    ASSERT_EQ(udp.Send(request.data(), 8), 8);
    Bytes got;
    uint16_t local = 0;
    ASSERT_TRUE(device.ReceiveDatagram(&got, &local, 2000));
    EXPECT_EQ(got, request);

    // Another host's well-formed answer is dropped; another port of the board's IP is not.
    ASSERT_TRUE(stranger.SendTo({0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66}, local));
    ASSERT_TRUE(otherPort.SendTo({0xA1, 0xA2, 0xA3}, local));
    ASSERT_TRUE(device.SendTo({0xB1}, local));
    EXPECT_EQ(Next(udp), Bytes({0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(Next(udp), Bytes{0xB1});
    // Waiting datagrams, from anyone, are dropped whole, those beyond the buffer uncounted.
    ASSERT_TRUE(stranger.SendTo({0xC1}, local));
    ASSERT_TRUE(device.SendTo({0xC2, 0xC3}, local));
    EXPECT_EQ(Discarded(udp, 3), Bytes({0xC1, 0xC2, 0xC3}));
    ASSERT_TRUE(device.SendTo(Bytes(300, 0xC4), local));
    ASSERT_TRUE(device.SendTo({0xC5}, local));
    EXPECT_EQ(Discarded(udp, 256), Bytes(256, 0xC4));
    EXPECT_EQ(udp.DiscardPending(nullptr, 0), 0);
    // A datagram larger than the buffer is an error, and what follows is the next
    // datagram rather than its rest.
    for (size_t size : {256, 257, 1400}) {
        ASSERT_TRUE(device.SendTo(Bytes(size, 0x5A), local));
        ASSERT_TRUE(device.SendTo({0x01}, local));
        EXPECT_EQ(Next(udp), size == 256 ? Bytes(256, 0x5A) : Bytes({0xEE, 0xFF})) << size;
        EXPECT_EQ(Next(udp), Bytes{0x01});
    }
    ExpectQuietReceives(udp);
    // Open on an open transport lets its socket go first: the same fixed port binds again.
    ASSERT_TRUE(OpenUdp(udp, device.Port(), local));
    ASSERT_EQ(udp.Send(request.data(), 8), 8);
    uint16_t from = 0;
    ASSERT_TRUE(device.ReceiveDatagram(&got, &from, 2000));
    EXPECT_EQ(from, local);
}

TEST(UdpCommunication, BindConflictOrBadRemoteFailsAndNoDescriptorIsLeft) {
    LoopbackUdpPeer occupant;
    const int before = CountOpenDescriptors();
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
    EXPECT_EQ(CountOpenDescriptors(), before);
}

} // namespace
