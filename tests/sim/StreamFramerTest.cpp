// The simulator's framing of byte streams, in-process: where one request ends and the
// next begins, whatever the framing and however the bytes arrive.
#include <gtest/gtest.h>

#include "StreamFramer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<std::pair<WireProtocol, Bytes>>;
constexpr WireProtocol kRtu = WireProtocol::ModbusRtu, kTcp = WireProtocol::ModbusTcp,
                       k55 = WireProtocol::Protocol55;

const Bytes kRtuRead{0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
const Bytes kTcpRead{0x00, 0x07, 0x00, 0x00, 0x00, 0x06, 0x01, 0x01, 0x00, 0x00, 0x00, 0x20};
const Bytes k55Toggle{0x55, 0x01, 0x20, 0x00, 0x00, 0x00, 0x20, 0x96};
const Bytes k55OtherDevice{0x55, 0x02, 0x20, 0x00, 0x00, 0x00, 0x02, 0x79};
// Valid both as RTU (address 0x55 reads 4 coils from 3) and as a 0x55 frame.
const Bytes kAmbiguous{0x55, 0x01, 0x00, 0x03, 0x00, 0x04, 0xC0, 0x1D};
// Function 0x2B with three data bytes, which the board does not know: length 5.
const Bytes kTcpOther{0x12, 0x34, 0x00, 0x00, 0x00, 0x05, 0x01, 0x2B, 0x0E, 0x01, 0x00};

const std::pair<WireProtocol, Bytes> R{kRtu, kRtuRead}, T{kTcp, kTcpRead}, F{k55, k55Toggle};

Frames Take(StreamFramer& framer, const Bytes& bytes, StreamFramer::Clock::time_point at) {
    framer.Append(bytes.data(), bytes.size(), at);
    Frames frames;
    for (Request request; framer.Next(request);)
        frames.emplace_back(request.protocol, request.frame);
    return frames;
}

} // namespace

TEST(StreamFramer, CutsRequestsOutOfAStream) {
    // The stream: garbage, then the expected requests back to back.
    const struct {
        const char* name;
        std::optional<WireProtocol> pinned;
        Bytes garbage;
        Frames frames;
    } cases[] = {
        // Five RTU reads start like an MBAP header of 32 bytes: the CRCs must win.
        {"back to back", {}, {}, {R, R, R, R, R, T, F}},
        {"random bytes", {}, {0xFF, 0x13, 0x37, 0x42, 0x99}, {R}},
        {"MBAP header of 254 bytes", {}, {0, 0, 0, 0, 0, 0xFE}, {R}},
        {"RTU with a bad CRC", {}, {1, 1, 0, 0, 0, 0x20, 0x3D, 0xD3}, {R}},
        // Shifted by a byte, a 0x55 frame looks like an MBAP header of its channel's length.
        {"bad 0x55 checksum", {}, {0x55, 1, 0x20, 0, 0, 0, 2, 0x77}, {{k55, k55OtherDevice}, F}},
        {"MBAP of any function", {}, {}, {{kTcp, kTcpOther}, R}},
        {"ambiguous, no history: the CRC wins", {}, {}, {{kRtu, kAmbiguous}}},
        {"ambiguous after 0x55", {}, {}, {F, {k55, kAmbiguous}}},
        {"ambiguous after RTU", {}, {}, {R, {kRtu, kAmbiguous}}},
        {"ambiguous, pinned to 0x55", k55, {}, {{k55, kAmbiguous}}},
    };
    for (const auto& c : cases) {
        RequestDecoder decoder(c.pinned);
        StreamFramer framer(decoder);
        Bytes stream = c.garbage;
        for (const auto& frame : c.frames)
            stream.insert(stream.end(), frame.second.begin(), frame.second.end());
        EXPECT_EQ(Take(framer, stream, StreamFramer::Clock::now()), c.frames) << c.name;
        EXPECT_EQ(framer.TakeDiscarded(), c.garbage.size()) << c.name;
    }
    // A partial request left alone too long is dropped: its rest, late, is garbage.
    RequestDecoder decoder;
    StreamFramer framer(decoder);
    const auto start = StreamFramer::Clock::now();
    EXPECT_TRUE(Take(framer, Bytes(kRtuRead.begin(), kRtuRead.begin() + 5), start).empty());
    Bytes late(kRtuRead.begin() + 5, kRtuRead.end());
    late.insert(late.end(), kRtuRead.begin(), kRtuRead.end());
    EXPECT_EQ(Take(framer, late, start + StreamFramer::kStaleAfter * 2), Frames{R});
    EXPECT_EQ(framer.TakeDiscarded(), 8u);
}
