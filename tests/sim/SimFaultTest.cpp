// The simulator's faults on demand: each does what its command says, to the bytes on
// the wire and to the board, and a seed makes the random ones repeat.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <modbus/modbus.h>
#include <set>

#include "WireClient.h"
#include "support/SimProcess.h"

namespace {

using Bytes = WireClient::Bytes;
using Clock = std::chrono::steady_clock;

const Bytes kRtuReadCoils{0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
const Bytes kRtuCoilsAnswer{0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
const Bytes kRtuCoil3On{0x01, 0x05, 0x00, 0x03, 0xFF, 0x00, 0x7C, 0x3A};
const Bytes k55ReadStatus{0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66};
const Bytes k55StatusAnswer{0x22, 0x01, 0x10, 0x80, 0x00, 0x00, 0x0F, 0xC2};

Bytes TcpRead(uint16_t id, uint8_t function) {
    return {static_cast<uint8_t>(id >> 8),
            static_cast<uint8_t>(id),
            0x00,
            0x00,
            0x00,
            0x06,
            0x01,
            function,
            0x00,
            0x00,
            0x00,
            0x20};
}

Bytes TcpCoilsAnswer(uint16_t id) {
    return {static_cast<uint8_t>(id >> 8),
            static_cast<uint8_t>(id),
            0x00,
            0x00,
            0x00,
            0x07,
            0x01,
            0x01,
            0x04,
            0x0F,
            0x00,
            0x00,
            0x80};
}

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class SimFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--quiet", "--coils", "8000000F"}))
            << sim.ErrorOutput();
        ASSERT_TRUE(tcp.OpenTcp(sim.TcpPort()));
    }

    uint32_t Coils() {
        uint32_t coils = 0;
        uint32_t inputs = 0;
        EXPECT_TRUE(sim.ReadStates(coils, inputs));
        return coils;
    }

    SimProcess sim{VORNAK_SIM_PATH};
    WireClient tcp;
};

} // namespace

TEST_F(SimFault, SilentBoardNeitherAnswersNorActsUntilResumed) {
    ASSERT_TRUE(sim.Command("silent"));
    ASSERT_TRUE(tcp.Send(kRtuCoil3On));
    EXPECT_TRUE(tcp.ReceiveAny(300).empty());
    EXPECT_EQ(Coils(), 0x8000000Fu) << "a silent board switched a coil";

    ASSERT_TRUE(sim.Command("resume"));
    EXPECT_EQ(tcp.Exchange(kRtuReadCoils, 9), kRtuCoilsAnswer);
}

TEST_F(SimFault, TimedSilenceEndsByItself) {
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(sim.Command("silent 600"));
    ASSERT_TRUE(tcp.Send(kRtuReadCoils));
    EXPECT_TRUE(tcp.ReceiveAny(200).empty());

    // Ask again until the board answers; it must not do so before the 600 ms are over.
    Bytes answer;
    while (answer.empty() && ElapsedMs(start) < 10000)
        answer = tcp.Exchange(kRtuReadCoils, 9, 100);
    EXPECT_EQ(answer, kRtuCoilsAnswer);
    EXPECT_GE(ElapsedMs(start), 600);
}

TEST_F(SimFault, DroppedAnswerStillSwitchesTheCoil) {
    ASSERT_TRUE(sim.Command("drop 100"));
    ASSERT_TRUE(tcp.Send(kRtuCoil3On));
    EXPECT_TRUE(tcp.ReceiveAny(300).empty());
    EXPECT_EQ(Coils(), 0x8000000Fu | 1u << 3);
    std::string stats;
    ASSERT_TRUE(sim.Command("stats", &stats));
    EXPECT_NE(stats.find("dropped=1 "), std::string::npos) << stats;
}

TEST_F(SimFault, CorruptionBreaksTheCheckOfEachFraming) {
    ASSERT_TRUE(sim.Command("corrupt 100"));

    Bytes rtu = tcp.Exchange(kRtuReadCoils, 9);
    ASSERT_EQ(rtu.size(), 9u);
    EXPECT_TRUE(std::equal(rtu.begin(), rtu.end() - 1, kRtuCoilsAnswer.begin()));
    EXPECT_NE(rtu.back(), kRtuCoilsAnswer.back()) << "the CRC was left intact";

    Bytes relay = tcp.Exchange(k55ReadStatus, 8);
    ASSERT_EQ(relay.size(), 8u);
    EXPECT_TRUE(std::equal(relay.begin(), relay.end() - 1, k55StatusAnswer.begin()));
    EXPECT_NE(relay.back(), k55StatusAnswer.back()) << "the checksum was left intact";

    Bytes mbap = tcp.Exchange(TcpRead(9, 0x01), 13);
    ASSERT_EQ(mbap.size(), 13u);
    EXPECT_NE(mbap[2] << 8 | mbap[3], 0) << "the protocol identifier was left at 0";
}

TEST_F(SimFault, WrongTransactionIdIsRefusedByLibmodbus) {
    ASSERT_TRUE(sim.Command("wrongid"));
    Bytes answer = tcp.Exchange(TcpRead(0x0041, 0x01), 13);
    Bytes expected = TcpCoilsAnswer(0x0041);
    ASSERT_EQ(answer.size(), 13u);
    EXPECT_NE(Bytes(answer.begin(), answer.begin() + 2),
              Bytes(expected.begin(), expected.begin() + 2));
    EXPECT_EQ(Bytes(answer.begin() + 2, answer.end()), Bytes(expected.begin() + 2, expected.end()));

    modbus_t *context = modbus_new_tcp("127.0.0.1", sim.TcpPort());
    ASSERT_NE(context, nullptr);
    modbus_set_slave(context, 1);
    modbus_set_response_timeout(context, 0, 500000);
    ASSERT_EQ(modbus_connect(context), 0);
    uint8_t bits[32];
    EXPECT_EQ(modbus_read_bits(context, 0, 32, bits), -1);
    modbus_close(context);
    modbus_free(context);
}

TEST_F(SimFault, SplitAnswerComesInTwoSegments) {
    ASSERT_TRUE(sim.Command("split 100 400"));
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(tcp.Send(TcpRead(5, 0x01)));
    Bytes first = tcp.ReceiveAny(2000);
    EXPECT_EQ(first.size(), 6u) << "the first segment should carry half the answer";
    Bytes rest = tcp.ReceiveCount(13 - first.size(), 3000);
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(first, TcpCoilsAnswer(5));
    EXPECT_GE(ElapsedMs(start), 400);

    // A client that frames by the MBAP length, as libmodbus does, still reads it.
    modbus_t *context = modbus_new_tcp("127.0.0.1", sim.TcpPort());
    ASSERT_NE(context, nullptr);
    modbus_set_slave(context, 1);
    ASSERT_EQ(modbus_connect(context), 0);
    uint8_t bits[32] = {};
    EXPECT_EQ(modbus_read_bits(context, 0, 32, bits), 32) << modbus_strerror(errno);
    EXPECT_EQ(bits[31], 1);
    modbus_close(context);
    modbus_free(context);
}

TEST_F(SimFault, LateAnswerBelongsToThePreviousRequest) {
    ASSERT_TRUE(sim.Command("late"));
    ASSERT_TRUE(tcp.Send(TcpRead(1, 0x01)));
    EXPECT_TRUE(tcp.ReceiveAny(300).empty()) << "nothing came before, so nothing is late";
    EXPECT_EQ(tcp.Exchange(TcpRead(2, 0x01), 13), TcpCoilsAnswer(1));
    EXPECT_EQ(tcp.Exchange(k55ReadStatus, 13), TcpCoilsAnswer(2));
    ASSERT_TRUE(sim.Command("clear"));
    EXPECT_EQ(tcp.Exchange(k55ReadStatus, 8), k55StatusAnswer);
}

TEST_F(SimFault, ForcedExceptionAnswersModbusOnlyAndSwitchesNothing) {
    ASSERT_TRUE(sim.Command("exception 4"));
    EXPECT_EQ(tcp.Exchange(kRtuCoil3On, 5), (Bytes{0x01, 0x85, 0x04, 0x43, 0x53}));
    EXPECT_EQ(tcp.Exchange(TcpRead(3, 0x02), 9),
              (Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x01, 0x82, 0x04}));
    EXPECT_EQ(tcp.Exchange(k55ReadStatus, 8), k55StatusAnswer);
    EXPECT_EQ(Coils(), 0x8000000Fu);
}

TEST_F(SimFault, DelayHoldsTheAnswerBack) {
    ASSERT_TRUE(sim.Command("delay 300"));
    WireClient udp;
    ASSERT_TRUE(udp.OpenUdp(sim.UdpPort()));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(udp.Exchange(kRtuReadCoils, 9, 5000), kRtuCoilsAnswer);
    EXPECT_GE(ElapsedMs(start), 300);
}

TEST(SimFaultSeed, TheSameSeedDropsTheSameAnswers) {
    // Which of 40 back-to-back requests are answered under "drop 50" with a seed.
    auto answered = [](const std::string &seed) {
        std::set<uint16_t> ids;
        SimProcess sim(VORNAK_SIM_PATH);
        if (!sim.Start({"--tcp", "0", "--quiet", "--seed", seed, "--drop", "50"}))
            return ids;
        WireClient client;
        if (!client.OpenTcp(sim.TcpPort()))
            return ids;
        Bytes burst;
        for (uint16_t id = 1; id <= 40; ++id) {
            Bytes request = TcpRead(id, 0x01);
            burst.insert(burst.end(), request.begin(), request.end());
        }
        client.Send(burst);
        // Once the counters show all 40 requests, every answer has been written.
        std::string stats;
        for (int i = 0; i < 500 && stats.find("requests=40 ") == std::string::npos; ++i) {
            sim.Command("stats", &stats);
        }
        Bytes all;
        for (Bytes more; !(more = client.ReceiveAny(200)).empty();) {
            all.insert(all.end(), more.begin(), more.end());
        }
        for (size_t at = 0; at + 13 <= all.size(); at += 13) {
            ids.insert(static_cast<uint16_t>(all[at] << 8 | all[at + 1]));
        }
        return ids;
    };
    const std::set<uint16_t> first = answered("42");
    EXPECT_GT(first.size(), 5u);
    EXPECT_LT(first.size(), 35u);
    EXPECT_EQ(answered("42"), first);
    EXPECT_NE(answered("43"), first);
}
