#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/IProtocol.h"

// Feeds one answer to a protocol and traps when a parser promise is broken, so that
// libFuzzer reports logic faults as well as the memory faults the sanitizers catch:
// only a refusal's kinds are returned, a text is always given, a refusal changes no table entry
// and every entry stays 0 or 1.
inline void ParseAndCheck(IProtocol& protocol, const uint8_t* data, size_t size,
                          bool inputsStayOff) {
    std::array<uint8_t, 64> before{};
    for (uint8_t i = 0; i < 32; ++i) {
        protocol.GetCoilState(i, before[i]);
        protocol.GetInputState(i, before[32 + i]);
    }
    std::string text;
    const AnswerVerdict verdict = protocol.ParseResponse(data, static_cast<int32_t>(size), text);
    // An exception code only with the kind Exception, and only a refusal's kinds.
    const ErrorKind kind = verdict.kind;
    if (text.empty() || (verdict.exceptionCode != 0 && kind != ErrorKind::Exception) ||
        (kind != ErrorKind::None && kind != ErrorKind::Checksum && kind != ErrorKind::Malformed &&
         kind != ErrorKind::Mismatch && kind != ErrorKind::Exception))
        __builtin_trap();
    for (uint8_t i = 0; i < 32; ++i) {
        uint8_t coil = 0xEE, input = 0xEE;
        if (!protocol.GetCoilState(i, coil) || !protocol.GetInputState(i, input) || coil > 1 ||
            input > 1 || (inputsStayOff && input != 0))
            __builtin_trap();
        if (!verdict.Accepted() && (coil != before[i] || input != before[32 + i]))
            __builtin_trap();
    }
}

// Builds the read request that two selector bytes choose (start 0..31, count 1..32 - start,
// bit 7 of the first byte: discrete inputs instead of coils) into frame, and traps unless it
// is accepted with the protocol's request length.
inline void BuildSelectedRead(IProtocol& protocol, uint8_t first, uint8_t second,
                              int32_t requestLength, uint8_t (&frame)[16]) {
    const uint8_t start = first % 32, count = static_cast<uint8_t>(1 + second % (32 - start));
    int32_t length = 0;
    const int32_t built = (first & 0x80) != 0
                              ? protocol.BuildReadInputs(1, start, count, frame, length)
                              : protocol.BuildReadCoils(1, start, count, frame, length);
    if (built != 0 || length != requestLength)
        __builtin_trap();
}
