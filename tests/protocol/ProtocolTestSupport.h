#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "protocol/IProtocol.h"

// Table runners shared by the protocol tests. Frames are written as hex text
// ("01 0A FF"); tables are compared as {coils, inputs} masks, bit i = entry i.

using Bytes = std::vector<uint8_t>;
using Masks = std::array<uint32_t, 2>;

inline Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += text[i] == ' ' ? 1 : 2) {
        if (text[i] != ' ')
            bytes.push_back(uint8_t(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

inline int32_t Parse(IProtocol& protocol, const std::string& answer, std::string& text) {
    const Bytes bytes = Hex(answer);
    return protocol.ParseResponse(bytes.data(), int32_t(bytes.size()), text);
}

// All 64 entries exactly as stored: coils 0..31, then inputs 0..31.
inline std::array<uint8_t, 64> Snapshot(IProtocol& protocol) {
    std::array<uint8_t, 64> all{};
    for (uint8_t i = 0; i < 32; ++i) {
        protocol.GetCoilState(i, all[i]);
        protocol.GetInputState(i, all[32 + i]);
    }
    return all;
}

// Every entry must be 0 or 1.
inline Masks MasksOf(IProtocol& protocol) {
    const auto all = Snapshot(protocol);
    Masks masks{};
    for (int i = 0; i < 64; ++i) {
        EXPECT_LE(all[i], 1) << "entry " << i;
        masks[i / 32] |= uint32_t(all[i] & 1) << (i % 32);
    }
    return masks;
}

// The expected state list: count items numbered from first, item i ON when bit i is set.
inline std::string ListOf(int first, int count, uint32_t bits) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list +=
            (i > 0 ? ", " : "") + std::to_string(first + i) + ((bits >> i) & 1 ? ":ON" : ":OFF");
    }
    return list;
}

enum class Kind { Coils, Inputs, Write };

// One builder call; for Write, a is the index (channel) and b the state.
struct Request {
    Kind kind;
    uint8_t a, b;
    uint8_t address = 1;
};

// Builds into a buffer of 0xAA; out is cut to the reported length on success.
inline int32_t Build(IProtocol& protocol, const Request& r, Bytes& out, int32_t& length) {
    out.assign(16, 0xAA);
    length = -7;
    uint8_t* buffer = out.data();
    const int32_t result = r.kind == Kind::Coils
                               ? protocol.BuildReadCoils(r.address, r.a, r.b, buffer, length)
                           : r.kind == Kind::Inputs
                               ? protocol.BuildReadInputs(r.address, r.a, r.b, buffer, length)
                               : protocol.BuildWriteCoil(r.address, r.a, r.b != 0, buffer, length);
    if (result == 0 && length > 0 && length <= 16)
        out.resize(size_t(length));
    return result;
}

inline void Build(IProtocol& protocol, const Request& r) {
    Bytes out;
    int32_t length = 0;
    ASSERT_EQ(Build(protocol, r, out, length), 0);
}

// An empty frame means the builder must refuse and leave buffer and length alone.
struct FrameCase {
    Request request;
    const char* frame;
};

inline void ExpectFrames(IProtocol& protocol, std::initializer_list<FrameCase> cases,
                         int32_t frameLength) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.request.a) + "," + std::to_string(c.request.b));
        Bytes out;
        int32_t length = 0;
        const bool accepted = *c.frame != '\0';
        EXPECT_EQ(Build(protocol, c.request, out, length), accepted ? 0 : -1);
        EXPECT_EQ(length, accepted ? frameLength : -7);
        EXPECT_EQ(out, accepted ? Hex(c.frame) : Bytes(16, 0xAA));
    }
}

// Each answer is parsed by a new object of type P after reset and request.
struct AnswerCase {
    Request request;
    uint8_t reset;
    const char* answer;
    std::string text;
    Masks tables;
};

template <class P> void ExpectAccepted(std::initializer_list<AnswerCase> cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        P protocol;
        protocol.ResetStates(c.reset);
        Build(protocol, c.request);
        std::string text;
        EXPECT_EQ(Parse(protocol, c.answer, text), 0);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(MasksOf(protocol), c.tables);
    }
}

// Every answer is refused with its text, and no one of the 64 entries changes.
inline void ExpectRefused(IProtocol& protocol,
                          std::initializer_list<std::pair<const char*, const char*>> cases) {
    const auto before = Snapshot(protocol);
    for (const auto& [answer, reason] : cases) {
        std::string text;
        EXPECT_EQ(Parse(protocol, answer, text), -1) << answer;
        EXPECT_EQ(text, reason) << answer;
        EXPECT_EQ(Snapshot(protocol), before) << answer;
    }
}
