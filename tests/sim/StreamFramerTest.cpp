// The simulator's framing of byte streams, in-process: where one request ends and the
// next begins, whatever the framing and however the bytes arrive.
#include <gtest/gtest.h>

#include <chrono>

#include "RequestDecoder.h"
#include "StreamFramer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kRtuReadCoils{0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
const Bytes kTcpReadCoils{0x00, 0x07, 0x00, 0x00, 0x00, 0x06, 0x01, 0x01, 0x00, 0x00, 0x00, 0x20};
const Bytes k55Toggle32{0x55, 0x01, 0x20, 0x00, 0x00, 0x00, 0x20, 0x96};
// Valid both as RTU (address 0x55 reads 4 coils from 3) and as a 0x55 frame.
const Bytes kAmbiguous{0x55, 0x01, 0x00, 0x03, 0x00, 0x04, 0xC0, 0x1D};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Framed {
    std::vector<Request> requests;
    size_t discarded = 0;
};

Framed FrameAll(StreamFramer &framer, const Bytes &bytes, Clock::time_point at = Clock::now()) {
    framer.Append(bytes.data(), bytes.size(), at);
    Framed result;
    Request request;
    while (framer.Next(request))
        result.requests.push_back(request);
    result.discarded = framer.TakeDiscarded();
    return result;
}

} // namespace

TEST(StreamFramer, SplitsBackToBackRequestsOfEveryFraming) {
    RequestDecoder decoder;
    StreamFramer framer(decoder);
    // Five RTU reads in a row form 40 bytes whose start also looks like an MBAP header
    // announcing 32 bytes: the CRC must win over that reading.
    Bytes stream = Join({kRtuReadCoils, kRtuReadCoils, kRtuReadCoils, kRtuReadCoils, kRtuReadCoils,
                         kTcpReadCoils, k55Toggle32});
    Framed framed = FrameAll(framer, stream);

    ASSERT_EQ(framed.requests.size(), 7u);
    EXPECT_EQ(framed.discarded, 0u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(framed.requests[i].protocol, WireProtocol::ModbusRtu) << i;
        EXPECT_EQ(framed.requests[i].pdu, (Bytes{0x01, 0x00, 0x00, 0x00, 0x20}));
    }
    const Request &tcp = framed.requests[5];
    EXPECT_EQ(tcp.protocol, WireProtocol::ModbusTcp);
    EXPECT_EQ(tcp.transactionId, 7);
    EXPECT_EQ(tcp.address, 1);
    EXPECT_EQ(tcp.frame, kTcpReadCoils);
    const Request &relay = framed.requests[6];
    EXPECT_EQ(relay.protocol, WireProtocol::Protocol55);
    EXPECT_EQ(relay.command, 0x20);
    EXPECT_EQ(relay.channel, 32);
}

TEST(StreamFramer, JoinsARequestThatArrivesInPieces) {
    for (const Bytes &frame : {kRtuReadCoils, kTcpReadCoils, k55Toggle32}) {
        RequestDecoder decoder;
        StreamFramer framer(decoder);
        for (size_t i = 0; i + 1 < frame.size(); ++i) {
            Framed partial = FrameAll(framer, Bytes{frame[i]});
            ASSERT_TRUE(partial.requests.empty()) << "after byte " << i;
        }
        Framed last = FrameAll(framer, Bytes{frame.back()});
        ASSERT_EQ(last.requests.size(), 1u);
        EXPECT_EQ(last.requests[0].frame, frame);
        EXPECT_EQ(last.discarded, 0u);
    }
}

TEST(StreamFramer, SkipsGarbageUntilARequestStarts) {
    struct Case {
        const char *name;
        Bytes garbage;
    };
    const Case cases[] = {
        {"random bytes", {0xFF, 0x13, 0x37, 0x42, 0x99}},
        // Looks like the start of an MBAP frame of 254 bytes: must not hold up the
        // whole request that follows.
        {"promising MBAP header", {0x00, 0x00, 0x00, 0x00, 0x00, 0xFE}},
        {"0x55 with a bad checksum", {0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x67}},
        {"RTU with a bad CRC", {0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD3}},
    };
    for (const Case &c : cases) {
        RequestDecoder decoder;
        StreamFramer framer(decoder);
        Framed framed = FrameAll(framer, Join({c.garbage, kRtuReadCoils}));
        ASSERT_EQ(framed.requests.size(), 1u) << c.name;
        EXPECT_EQ(framed.requests[0].frame, kRtuReadCoils) << c.name;
        EXPECT_EQ(framed.discarded, c.garbage.size()) << c.name;
    }
}

TEST(StreamFramer, ResynchronisesOnTheFrameAfterABrokenOne) {
    // Shifted by one byte, a 0x55 frame reads like an MBAP header (protocol identifier
    // 0, length = its channel); while resynchronising, that must not swallow the
    // frames that follow.
    const Bytes broken{0x55, 0x01, 0x20, 0x00, 0x00, 0x00, 0x02, 0x77};
    const Bytes otherDevice{0x55, 0x02, 0x20, 0x00, 0x00, 0x00, 0x02, 0x79};
    RequestDecoder decoder;
    StreamFramer framer(decoder);
    Framed framed = FrameAll(framer, Join({broken, otherDevice, k55Toggle32}));
    ASSERT_EQ(framed.requests.size(), 2u);
    EXPECT_EQ(framed.requests[0].frame, otherDevice);
    EXPECT_EQ(framed.requests[1].frame, k55Toggle32);
    EXPECT_EQ(framed.discarded, broken.size());
}

TEST(StreamFramer, DropsAPartialRequestLeftAloneTooLong) {
    RequestDecoder decoder;
    StreamFramer framer(decoder);
    const Clock::time_point start = Clock::now();
    FrameAll(framer, Bytes(kRtuReadCoils.begin(), kRtuReadCoils.begin() + 5), start);
    EXPECT_EQ(framer.Pending(), 5u);

    Framed framed = FrameAll(framer, kRtuReadCoils,
                             start + StreamFramer::kStaleAfter + std::chrono::milliseconds(1));
    ASSERT_EQ(framed.requests.size(), 1u);
    EXPECT_EQ(framed.requests[0].frame, kRtuReadCoils);
    EXPECT_EQ(framed.discarded, 5u);
}

TEST(StreamFramer, ResolvesAnAmbiguousFrameByTheChannelsLastFraming) {
    struct Case {
        const char *name;
        std::optional<WireProtocol> pinned;
        Bytes before;
        WireProtocol expected;
    };
    const Case cases[] = {
        {"no history: the CRC is the stronger check", std::nullopt, {}, WireProtocol::ModbusRtu},
        {"after a 0x55 request", std::nullopt, k55Toggle32, WireProtocol::Protocol55},
        {"after an RTU request", std::nullopt, kRtuReadCoils, WireProtocol::ModbusRtu},
        {"pinned to 0x55", WireProtocol::Protocol55, {}, WireProtocol::Protocol55},
    };
    for (const Case &c : cases) {
        RequestDecoder decoder(c.pinned);
        StreamFramer framer(decoder);
        Framed framed = FrameAll(framer, Join({c.before, kAmbiguous}));
        ASSERT_FALSE(framed.requests.empty()) << c.name;
        EXPECT_EQ(framed.requests.back().protocol, c.expected) << c.name;
        EXPECT_EQ(framed.requests.back().frame, kAmbiguous) << c.name;
    }
}

TEST(StreamFramer, PinnedDecoderIgnoresTheOtherFramings) {
    RequestDecoder decoder(WireProtocol::ModbusTcp);
    StreamFramer framer(decoder);
    Framed framed = FrameAll(framer, Join({kRtuReadCoils, k55Toggle32, kTcpReadCoils}));
    ASSERT_EQ(framed.requests.size(), 1u);
    EXPECT_EQ(framed.requests[0].protocol, WireProtocol::ModbusTcp);
    EXPECT_EQ(framed.discarded, kRtuReadCoils.size() + k55Toggle32.size());
}

TEST(StreamFramer, TakesAnMbapFrameOfAnyFunctionByItsLength) {
    RequestDecoder decoder;
    StreamFramer framer(decoder);
    // Function 0x2B with three data bytes: length 5 (unit, function, data).
    const Bytes frame{0x12, 0x34, 0x00, 0x00, 0x00, 0x05, 0x01, 0x2B, 0x0E, 0x01, 0x00};
    Framed framed = FrameAll(framer, Join({frame, kRtuReadCoils}));
    ASSERT_EQ(framed.requests.size(), 2u);
    EXPECT_EQ(framed.requests[0].protocol, WireProtocol::ModbusTcp);
    EXPECT_EQ(framed.requests[0].pdu, (Bytes{0x2B, 0x0E, 0x01, 0x00}));
    EXPECT_EQ(framed.requests[1].protocol, WireProtocol::ModbusRtu);
}
