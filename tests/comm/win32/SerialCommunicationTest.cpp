// The Win32 serial transport against a board played on the other end of a joined pair
// of COM ports (under wine: two pseudo-terminals that socat joins; see
// scripts/build-windows, which names the pair in VORNAK_TEST_COM_PAIR).
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <windows.h>

#include "comm/EnumerateSerialPorts.h"
#include "comm/SerialCommunication.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class ComPair : public ::testing::Test {
protected:
    void SetUp() override {
        const char* pair = std::getenv("VORNAK_TEST_COM_PAIR");
        const std::string names = pair == nullptr ? "" : pair;
        const size_t comma = names.find(',');
        if (comma == std::string::npos)
            GTEST_SKIP() << "no joined COM ports named in VORNAK_TEST_COM_PAIR";
        portName = names.substr(0, comma);
        boardName = names.substr(comma + 1);
        ASSERT_TRUE(OpenAs(port, portName));
        ASSERT_TRUE(OpenAs(board, boardName));
    }

    static bool OpenAs(SerialCommunication& transport, const std::string& name) {
        SerialConfig config;
        config.portName = name;
        config.baudRate = 115200;
        return transport.Configure(&config) && transport.Open();
    }

    // The next Receive as bytes; {0xEE, n} when it returned n <= 0.
    static Bytes Next(SerialCommunication& transport, int32_t size, int32_t waitMs) {
        Bytes buffer(static_cast<size_t>(size));
        const int32_t n = transport.Receive(buffer.data(), size, waitMs);
        return n > 0 ? Bytes(buffer.begin(), buffer.begin() + n) : Bytes{0xEE, uint8_t(n)};
    }

    std::string portName, boardName;
    SerialCommunication port, board;
};

TEST_F(ComPair, ExchangesWholeAnswersEndsSilenceByTheFirstLimitAndReopens) {
    // A silent board: the caller's wait, then the port's own limit (10 ms x 16 + 100 ms) ends
    // the read first; nothing came (0), as on every transport.
    for (const auto& [size, waitMs, atLeastMs] :
         {std::array<int32_t, 3>{256, 150, 140}, std::array<int32_t, 3>{16, 2000, 250}}) {
        const auto start = Clock::now();
        EXPECT_EQ(Next(port, size, waitMs), Bytes({0xEE, 0})) << waitMs;
        EXPECT_GE(MsSince(start), atLeastMs);
        EXPECT_LT(MsSince(start), 1500);
    }
    const Bytes request = {0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
    const Bytes answer = {0x01, 0x01, 0x04, 0x08, 0x00, 0x00, 0x00, 0x2F, 0x55};
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(port.Send(request.data(), 8), 8);
        EXPECT_EQ(Next(board, 256, 2000), request);
        ASSERT_EQ(board.Send(answer.data(), 9), 9);
        EXPECT_EQ(Next(port, 256, 2000), answer);
        ASSERT_TRUE(port.Open()); // Open on an open port closes it first
    }
    // The answer check ends a read as soon as the answer is whole, though the board goes
    // on sending without a pause (a byte every 10 ms for about 400 ms).
    port.SetAnswerCheck([](const uint8_t*, int32_t length) { return length >= 9; });
    std::thread trickle([&] {
        board.Send(answer.data(), 9);
        for (uint8_t i = 0; i < 40; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            board.Send(&i, 1);
        }
    });
    const Bytes got = Next(port, 256, 2000);
    trickle.join();
    ASSERT_GE(got.size(), 9u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 9), answer);
    EXPECT_LT(got.size(), 30u); // without the check it would take all 49 bytes
    // Input waiting before a request is dropped.
    size_t dropped = 0;
    uint8_t scrap[64];
    for (const auto begin = Clock::now(); dropped < 49 - got.size() && MsSince(begin) < 2000;)
        dropped += size_t(std::max(port.DiscardPending(scrap, 64), 0));
    EXPECT_EQ(dropped, 49 - got.size());
    port.Close();
    port.Close();
    EXPECT_EQ(port.Send(scrap, 1), -1);
    EXPECT_EQ(port.Receive(scrap, 1, 1000), -1);
}

TEST_F(ComPair, AnOpenPortIsExclusiveAndDiscoveryListsThePairInNaturalOrder) {
    SerialCommunication other; // wine opens a pseudo-terminal's COM port for anybody
    if (!UnderWine())
        EXPECT_FALSE(OpenAs(other, portName));
    port.Close();
    board.Close();
    const std::vector<std::string> ports = EnumerateSerialPorts();
    const auto first = std::find(ports.begin(), ports.end(), portName);
    const auto second = std::find(ports.begin(), ports.end(), boardName);
    ASSERT_NE(first, ports.end());
    ASSERT_NE(second, ports.end());
    EXPECT_LT(first, second); // COM9 before COM10, which comes first by text
}

} // namespace
