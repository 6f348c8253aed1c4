#include "comm/TcpCommunication.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "support/LoopbackTcpServer.h"
#include "support/OpenDescriptors.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TcpConfig ConfigFor(uint32_t port, uint32_t timeoutMs = 2000, std::string ip = "127.0.0.1") {
    TcpConfig config;
    config.serverIp = std::move(ip);
    config.port = port;
    config.timeoutMs = timeoutMs;
    return config;
}

// A transport configured for the given settings and opened; check IsOpen().
void OpenWith(TcpCommunication &tcp, const TcpConfig &config) {
    tcp.Initialize();
    ASSERT_TRUE(tcp.Configure(&config));
    tcp.Open();
}

int LoopbackSocket(int extraType = 0) {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | extraType, IPPROTO_TCP);
}

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A loopback port that is bound but not listening: connecting to it is refused, and
// the kernel will not hand the port out as a client's local port meanwhile.
struct RefusingPort {
    int fd = LoopbackSocket();
    uint16_t port = 0;
    RefusingPort() {
        sockaddr_in address = LoopbackAddress(0);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ~RefusingPort() { close(fd); }
};

// Client sockets that fill the accept queue of a listener that never accepts, until a
// connect no longer completes: further handshakes to that listener then hang.
struct FullAcceptQueue {
    std::vector<int> fds;
    bool full = false;
    explicit FullAcceptQueue(uint16_t port) {
        const sockaddr_in address = LoopbackAddress(port);
        for (int i = 0; i < 16 && !full; ++i) {
            const int fd = LoopbackSocket(SOCK_NONBLOCK);
            fds.push_back(fd);
            if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                continue;
            pollfd entry{fd, POLLOUT, 0};
            full = poll(&entry, 1, 300) == 0;
        }
    }
    ~FullAcceptQueue() {
        for (int fd : fds)
            close(fd);
    }
};

} // namespace

TEST(TcpCommunication, ExchangesBytesAndUsesOnlyTheLow16BitsOfThePort) {
    for (uint32_t highBits : {0u, 0x10000u, 0xABCD0000u}) {
        SCOPED_TRACE(highBits);
        LoopbackTcpServer server;
        ASSERT_NE(server.Port(), 0);
        TcpCommunication tcp;
        OpenWith(tcp, ConfigFor(highBits | server.Port()));
        ASSERT_TRUE(tcp.IsOpen());
        ASSERT_TRUE(server.AcceptClient(2000));

        const Bytes request = {0x01, 0x05, 0x00, 0x03, 0xFF, 0x00};
        EXPECT_EQ(tcp.Send(request.data(), 6), 6);
        EXPECT_EQ(server.ReadExactly(6, 2000), request);

        const Bytes answer = {0x11, 0x22, 0x33};
        ASSERT_TRUE(server.WriteAnswer(answer));
        uint8_t buffer[256] = {};
        ASSERT_EQ(tcp.Receive(buffer, 256, 2000), 3);
        EXPECT_EQ(Bytes(buffer, buffer + 3), answer);
    }
}

TEST(TcpCommunication, RefusedConnectionFailsAtOnceAndLeavesTheTransportClosed) {
    RefusingPort refusing;
    ASSERT_NE(refusing.port, 0);
    TcpCommunication tcp;
    const auto start = Clock::now();
    OpenWith(tcp, ConfigFor(refusing.port, 5000));
    EXPECT_FALSE(tcp.IsOpen());
    EXPECT_LT(MsSince(start), 2500);

    uint8_t buffer[8] = {1, 2, 3};
    EXPECT_EQ(tcp.Send(buffer, 3), -1);
    const auto receiveStart = Clock::now();
    EXPECT_EQ(tcp.Receive(buffer, 8, 3000), -1);
    EXPECT_LT(MsSince(receiveStart), 1000);
}

TEST(TcpCommunication, ConnectGivesUpAfterTimeoutWhenTheHandshakeHangs) {
    LoopbackTcpServer server(0);
    ASSERT_NE(server.Port(), 0);
    FullAcceptQueue queue(server.Port());
    ASSERT_TRUE(queue.full) << "the listener kept completing handshakes";

    TcpCommunication tcp;
    const auto start = Clock::now();
    OpenWith(tcp, ConfigFor(server.Port(), 700));
    const int64_t elapsed = MsSince(start);
    EXPECT_FALSE(tcp.IsOpen());
    EXPECT_GE(elapsed, 690);
    EXPECT_LT(elapsed, 5000);
}

TEST(TcpCommunication, PeerCloseGivesZeroAtOnceAndSendRaisesNoSignal) {
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        LoopbackTcpServer server;
        TcpCommunication tcp;
        OpenWith(tcp, ConfigFor(server.Port()));
        ASSERT_TRUE(server.AcceptClient(2000));
        server.CloseClient(reset);

        uint8_t buffer[256];
        if (!reset) {
            const auto start = Clock::now();
            for (int i = 0; i < 5; ++i)
                EXPECT_EQ(tcp.Receive(buffer, 256, 3000), 0);
            EXPECT_LT(MsSince(start), 2000);
        }
        // The first send after the peer left may still be accepted; later ones fail
        // with EPIPE, which must come back as -1 rather than kill the process.
        int32_t sent = 0;
        for (int i = 0; i < 50 && sent != -1; ++i)
            sent = tcp.Send(buffer, 8);
        EXPECT_EQ(sent, -1);
        EXPECT_TRUE(tcp.IsOpen());
    }
}

TEST(TcpCommunication, ReceiveReturnsOnlyTheBytesPresentSoASplitAnswerTakesTwoCalls) {
    LoopbackTcpServer server;
    TcpCommunication tcp;
    OpenWith(tcp, ConfigFor(server.Port()));
    ASSERT_TRUE(server.AcceptClient(2000));
    uint8_t buffer[256];

    ASSERT_TRUE(server.WriteAnswer({0x01, 0x01}));
    ASSERT_EQ(tcp.Receive(buffer, 256, 2000), 2);
    EXPECT_EQ(Bytes(buffer, buffer + 2), Bytes({0x01, 0x01}));
    ASSERT_TRUE(server.WriteAnswer({0x04, 0xAA, 0xBB}));
    ASSERT_EQ(tcp.Receive(buffer, 256, 2000), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), Bytes({0x04, 0xAA, 0xBB}));
}

TEST(TcpCommunication, ReceiveWithNothingToReadWaitsAboutTheWaitTime) {
    LoopbackTcpServer server;
    TcpCommunication tcp;
    OpenWith(tcp, ConfigFor(server.Port()));
    ASSERT_TRUE(server.AcceptClient(2000));
    struct Case {
        int32_t waitMs;
        int64_t minMs;
        int64_t maxMs;
    };
    // A negative wait must not turn into an endless poll.
    for (const Case &c : {Case{300, 300, 3000}, Case{0, 0, 200}, Case{-1, 0, 200}}) {
        SCOPED_TRACE(c.waitMs);
        uint8_t buffer[256];
        const auto start = Clock::now();
        EXPECT_EQ(tcp.Receive(buffer, 256, c.waitMs), 0);
        EXPECT_GE(MsSince(start), c.minMs);
        EXPECT_LT(MsSince(start), c.maxMs);
    }
}

TEST(TcpCommunication, OpenOnAnOpenTransportReconnectsWithTheLatestSettings) {
    LoopbackTcpServer first;
    LoopbackTcpServer second;
    TcpCommunication tcp;
    OpenWith(tcp, ConfigFor(first.Port()));
    ASSERT_TRUE(first.AcceptClient(2000));

    // New settings wait for the next Open; the line stays where it was.
    const TcpConfig next = ConfigFor(second.Port());
    ASSERT_TRUE(tcp.Configure(&next));
    const uint8_t byte = 0x7E;
    ASSERT_EQ(tcp.Send(&byte, 1), 1);
    EXPECT_EQ(first.ReadExactly(1, 2000), Bytes{0x7E});

    ASSERT_TRUE(tcp.Open());
    EXPECT_TRUE(first.ClientClosed(2000));
    ASSERT_TRUE(second.AcceptClient(2000));
    ASSERT_EQ(tcp.Send(&byte, 1), 1);
    EXPECT_EQ(second.ReadExactly(1, 2000), Bytes{0x7E});
}

TEST(TcpCommunication, AddressesThatAreNotDottedIPv4FailWithoutTraffic) {
    LoopbackTcpServer server;
    const std::string withNul("127.0.0.1\0x", 11);
    for (const std::string &ip :
         {std::string(), std::string("localhost"), std::string(" 127.0.0.1"),
          std::string("127.0.0.1 "), std::string("127.1"), std::string("::1"),
          std::string("256.0.0.1"), std::string("１２７.0.0.1"), withNul}) {
        SCOPED_TRACE(ip);
        TcpCommunication tcp;
        OpenWith(tcp, ConfigFor(server.Port(), 2000, ip));
        EXPECT_FALSE(tcp.IsOpen());
    }
    EXPECT_FALSE(server.AcceptClient(100));
}

TEST(TcpCommunication, NullConfigurationIsRefusedAndKeepsTheSettings) {
    LoopbackTcpServer server;
    TcpCommunication tcp;
    const TcpConfig config = ConfigFor(server.Port());
    ASSERT_TRUE(tcp.Configure(&config));
    EXPECT_FALSE(tcp.Configure(nullptr));
    EXPECT_TRUE(tcp.Open());
    EXPECT_TRUE(server.AcceptClient(2000));
}

TEST(TcpCommunication, ClosedTransportAndBadArgumentsFailAtOnce) {
    LoopbackTcpServer server;
    TcpCommunication tcp;
    uint8_t buffer[16] = {};
    EXPECT_EQ(tcp.Send(buffer, 4), -1);
    EXPECT_EQ(tcp.Receive(buffer, 16, 5000), -1);

    OpenWith(tcp, ConfigFor(server.Port()));
    ASSERT_TRUE(tcp.IsOpen());
    EXPECT_EQ(tcp.Send(buffer, -1), -1);
    EXPECT_EQ(tcp.Send(nullptr, 4), -1);
    EXPECT_EQ(tcp.Receive(buffer, -1, 5000), -1);
    EXPECT_EQ(tcp.Receive(nullptr, 16, 5000), -1);

    tcp.Close();
    tcp.Close();
    EXPECT_FALSE(tcp.IsOpen());
    const auto start = Clock::now();
    EXPECT_EQ(tcp.Send(buffer, 4), -1);
    EXPECT_EQ(tcp.Receive(buffer, 16, 5000), -1);
    EXPECT_LT(MsSince(start), 1000);
}

TEST(TcpCommunication, LeavesNoDescriptorBehind) {
    LoopbackTcpServer server(64);
    RefusingPort refusing;
    const int before = CountOpenDescriptors();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 20; ++i) {
        TcpCommunication tcp;
        OpenWith(tcp, ConfigFor(server.Port()));
        EXPECT_TRUE(tcp.Open()); // reopen over an open connection
        if (i % 2 == 0)
            tcp.Close(); // otherwise the destructor closes it
        TcpCommunication refused;
        OpenWith(refused, ConfigFor(refusing.port));
        TcpCommunication invalid;
        OpenWith(invalid, ConfigFor(server.Port(), 2000, "no.such.host"));
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST(TcpCommunication, ScriptedServerAnswersEveryRequestAcrossReconnects) {
    LoopbackTcpServer server;
    ASSERT_TRUE(server.StartScripted([](const Bytes &request) {
        return request.size() == 1 ? Bytes{static_cast<uint8_t>(request[0] + 1)} : Bytes{};
    }));
    TcpCommunication tcp;
    OpenWith(tcp, ConfigFor(server.Port()));
    for (uint8_t value : {0x10, 0x20}) {
        ASSERT_TRUE(tcp.Open()); // each round on a fresh connection
        ASSERT_EQ(tcp.Send(&value, 1), 1);
        uint8_t answer = 0;
        ASSERT_EQ(tcp.Receive(&answer, 1, 2000), 1);
        EXPECT_EQ(answer, value + 1);
    }
    server.StopScripted();
    EXPECT_EQ(server.Requests(), (std::vector<Bytes>{{0x10}, {0x20}}));
}
