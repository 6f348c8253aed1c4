// The simulator on the wire: known requests get known answers over every transport, in
// every framing; streams are cut correctly; garbage and broken peers change nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <sys/socket.h>
#include <thread>

#include "WireClient.h"
#include "support/SimProcess.h"

namespace {

using Bytes = WireClient::Bytes;
using Transport = WireClient::Kind;

const Bytes kRtuReadCoils{0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
const Bytes kRtuReadInputs{0x01, 0x02, 0x00, 0x00, 0x00, 0x20, 0x79, 0xD2};
// With coils 0-3 and 31 on, inputs 0, 2, 5 and 7 on:
const Bytes kRtuCoilsAnswer{0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
const Bytes kRtuInputsAnswer{0x01, 0x02, 0x04, 0xA5, 0x00, 0x00, 0x00, 0xD9, 0x2E};
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

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Bytes that no seed-dependent accident turns into a request: mt19937 is fully
// specified, so the same bytes every run.
Bytes Garbage(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (uint8_t &byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

const char *Name(Transport transport) {
    switch (transport) {
    case Transport::Tcp:
        return "Tcp";
    case Transport::Udp:
        return "Udp";
    case Transport::Serial:
        return "Serial";
    }
    return "?";
}

class SimTraffic : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--pty", "--quiet", "--coils",
                               "8000000F", "--inputs", "A5"}))
            << sim.ErrorOutput();
        ASSERT_TRUE(Open(client));
    }

    bool Open(WireClient &peer) {
        switch (GetParam()) {
        case Transport::Tcp:
            return peer.OpenTcp(sim.TcpPort());
        case Transport::Udp:
            return peer.OpenUdp(sim.UdpPort());
        case Transport::Serial:
            return peer.OpenSerial(sim.PtyPath());
        }
        return false;
    }

    SimProcess sim{VORNAK_SIM_PATH};
    WireClient client;
};

} // namespace

TEST_P(SimTraffic, AnswersKnownRequestsInTheirOwnFraming) {
    struct Case {
        const char *name;
        Bytes request;
        Bytes answer;
    };
    const Case cases[] = {
        {"RTU read coils", kRtuReadCoils, kRtuCoilsAnswer},
        {"RTU read inputs", kRtuReadInputs, kRtuInputsAnswer},
        {"RTU read beyond coil 31",
         {0x01, 0x01, 0x00, 0x1F, 0x00, 0x02, 0x8C, 0x0D},
         {0x01, 0x81, 0x02, 0xC1, 0x91}},
        {"RTU unknown function",
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A},
         {0x01, 0x83, 0x01, 0x80, 0xF0}},
        {"TCP read coils",
         TcpRead(0x1234, 0x01),
         {0x12, 0x34, 0x00, 0x00, 0x00, 0x07, 0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80}},
        {"TCP read inputs",
         TcpRead(0xFFFF, 0x02),
         {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x07, 0x01, 0x02, 0x04, 0xA5, 0x00, 0x00, 0x00}},
        {"0x55 read status", k55ReadStatus, k55StatusAnswer},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(client.Send(c.request)) << c.name;
        // A serial answer is written in one burst, so it comes out of one read.
        Bytes answer = client.ReceiveAny(2000);
        if (answer.size() < c.answer.size() && GetParam() == Transport::Tcp) {
            Bytes rest = client.ReceiveCount(c.answer.size() - answer.size(), 2000);
            answer.insert(answer.end(), rest.begin(), rest.end());
        }
        EXPECT_EQ(answer, c.answer) << c.name;
    }
}

TEST_P(SimTraffic, SwitchesRelaysWithThe55CommandsAndIgnoresBrokenFrames) {
    struct Case {
        const char *name;
        Bytes request;
        Bytes answer; // empty: no answer expected
    };
    const Case cases[] = {
        {"close channel 5",
         {0x55, 0x01, 0x12, 0, 0, 0, 0x05, 0x6D},
         {0x22, 0x01, 0x12, 0x80, 0x00, 0x00, 0x1F, 0xD4}},
        {"open channel 1",
         {0x55, 0x01, 0x11, 0, 0, 0, 0x01, 0x68},
         {0x22, 0x01, 0x11, 0x80, 0x00, 0x00, 0x1E, 0xD2}},
        {"toggle channel 32",
         {0x55, 0x01, 0x20, 0, 0, 0, 0x20, 0x96},
         {0x22, 0x01, 0x20, 0x00, 0x00, 0x00, 0x1E, 0x61}},
        {"toggle channel 33 switches nothing",
         {0x55, 0x01, 0x20, 0, 0, 0, 0x21, 0x97},
         {0x22, 0x01, 0x20, 0x00, 0x00, 0x00, 0x1E, 0x61}},
        {"unknown command", {0x55, 0x01, 0x13, 0, 0, 0, 0x01, 0x6A}, {}},
        {"bad checksum", {0x55, 0x01, 0x20, 0, 0, 0, 0x02, 0x77}, {}},
        {"another device", {0x55, 0x02, 0x20, 0, 0, 0, 0x02, 0x79}, {}},
        {"read status", k55ReadStatus, {0x22, 0x01, 0x10, 0x00, 0x00, 0x00, 0x1E, 0x51}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(client.Send(c.request)) << c.name;
        const int wait = c.answer.empty() ? 300 : 2000;
        EXPECT_EQ(client.ReceiveCount(std::max<size_t>(c.answer.size(), 1), wait), c.answer)
            << c.name;
    }
    uint32_t coils = 0;
    uint32_t inputs = 0;
    ASSERT_TRUE(sim.ReadStates(coils, inputs));
    EXPECT_EQ(coils, 0x0000001Eu);
}

TEST_P(SimTraffic, IgnoresGarbageAndOversizedInputThenAnswersAGoodRequest) {
    if (GetParam() == Transport::Udp) {
        ASSERT_TRUE(client.Send(Garbage(2000, 1))); // larger than any request
        ASSERT_TRUE(client.Send(Garbage(100, 2)));
        ASSERT_TRUE(client.Send(Bytes(kRtuReadCoils.begin(), kRtuReadCoils.begin() + 5)));
        // One datagram, one request: a request's head here and its tail in the next
        // datagram do not make a request.
        ASSERT_TRUE(client.Send(Bytes(kRtuReadCoils.begin() + 5, kRtuReadCoils.end())));
    } else {
        const Bytes garbage = Garbage(64 * 1024, 3);
        for (size_t sent = 0; sent < garbage.size(); sent += 4096) {
            ASSERT_TRUE(client.Send(Bytes(garbage.begin() + static_cast<long>(sent),
                                          garbage.begin() + static_cast<long>(sent + 4096))));
        }
    }
    EXPECT_TRUE(client.ReceiveAny(300).empty()) << "garbage was answered";
    EXPECT_EQ(client.Exchange(kRtuReadCoils, kRtuCoilsAnswer.size()), kRtuCoilsAnswer);
    std::string stats;
    ASSERT_TRUE(sim.Command("stats", &stats));
    EXPECT_NE(stats.find("discarded="), std::string::npos);
    EXPECT_EQ(stats.find("discarded=0 "), std::string::npos) << stats;
}

TEST_P(SimTraffic, AnswersRequestsBackToBackAndInPieces) {
    if (GetParam() == Transport::Udp) {
        // Several requests in one datagram get one answer datagram each.
        ASSERT_TRUE(client.Send(Join({kRtuReadCoils, k55ReadStatus})));
        EXPECT_EQ(client.ReceiveAny(2000), kRtuCoilsAnswer);
        EXPECT_EQ(client.ReceiveAny(2000), k55StatusAnswer);
        return;
    }
    ASSERT_TRUE(client.Send(Join({kRtuReadCoils, k55ReadStatus, kRtuReadInputs})));
    EXPECT_EQ(client.ReceiveCount(26, 2000),
              Join({kRtuCoilsAnswer, k55StatusAnswer, kRtuInputsAnswer}));

    const Bytes request = TcpRead(7, 0x01);
    for (size_t at = 0; at < request.size(); at += 5) {
        const size_t end = std::min(request.size(), at + 5);
        ASSERT_TRUE(client.Send(Bytes(request.begin() + static_cast<long>(at),
                                      request.begin() + static_cast<long>(end))));
        if (end < request.size()) {
            // A gap between the pieces, so that the simulator reads them apart.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_TRUE(client.ReceiveAny(0).empty()) << "answered a partial request";
        }
    }
    EXPECT_EQ(client.ReceiveCount(13, 2000), (Bytes{0x00, 0x07, 0x00, 0x00, 0x00, 0x07, 0x01, 0x01,
                                                    0x04, 0x0F, 0x00, 0x00, 0x80}));
}

INSTANTIATE_TEST_SUITE_P(Transports, SimTraffic,
                         ::testing::Values(Transport::Tcp, Transport::Udp, Transport::Serial),
                         [](const ::testing::TestParamInfo<Transport> &info) {
                             return Name(info.param);
                         });

TEST(SimTcp, AClientThatGoesAwayDoesNotDisturbTheOthers) {
    SimProcess sim(VORNAK_SIM_PATH);
    ASSERT_TRUE(sim.Start({"--tcp", "0", "--quiet", "--coils", "8000000F"})) << sim.ErrorOutput();
    WireClient steady;
    ASSERT_TRUE(steady.OpenTcp(sim.TcpPort()));
    ASSERT_EQ(steady.Exchange(kRtuReadCoils, 9), kRtuCoilsAnswer);

    {
        WireClient leaving;
        ASSERT_TRUE(leaving.OpenTcp(sim.TcpPort()));
        ASSERT_TRUE(leaving.Send(Bytes(kRtuReadCoils.begin(), kRtuReadCoils.begin() + 4)));
    } // closed in the middle of a request
    {
        // One that asks and leaves before the (delayed) answer can be written.
        ASSERT_TRUE(sim.Command("delay 200"));
        WireClient impatient;
        ASSERT_TRUE(impatient.OpenTcp(sim.TcpPort()));
        ASSERT_TRUE(impatient.Send(kRtuReadCoils));
        ASSERT_TRUE(sim.Command("delay 0"));
    }
    std::vector<std::unique_ptr<WireClient>> crowd;
    for (int i = 0; i < 5; ++i) {
        crowd.push_back(std::make_unique<WireClient>());
        ASSERT_TRUE(crowd.back()->OpenTcp(sim.TcpPort()));
    }
    for (auto &other : crowd)
        EXPECT_EQ(other->Exchange(kRtuReadCoils, 9), kRtuCoilsAnswer);
    crowd.clear();

    EXPECT_EQ(steady.Exchange(kRtuReadCoils, 9), kRtuCoilsAnswer);
    EXPECT_EQ(steady.Exchange(TcpRead(3, 0x01), 13).size(), 13u);
}

TEST(SimTcp, APinnedProtocolLeavesTheOthersUnanswered) {
    SimProcess sim(VORNAK_SIM_PATH);
    ASSERT_TRUE(sim.Start({"--tcp", "0", "--quiet", "--protocol", "55", "--coils", "8000000F"}))
        << sim.ErrorOutput();
    WireClient client;
    ASSERT_TRUE(client.OpenTcp(sim.TcpPort()));
    ASSERT_TRUE(client.Send(kRtuReadCoils));
    ASSERT_TRUE(client.Send(TcpRead(1, 0x01)));
    EXPECT_TRUE(client.ReceiveAny(300).empty());
    EXPECT_EQ(client.Exchange(k55ReadStatus, 8), k55StatusAnswer);
}
