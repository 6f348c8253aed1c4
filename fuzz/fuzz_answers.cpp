// Input: a selector byte (the protocol, selector % 3, and the request built before the
// answer, selector / 3 % 3: a read of coils, a read of inputs, a write of a coil from 1 to 31),
// two bytes choosing the request's points (first point, then count or the written state),
// then the bytes received. Checks what the Device relies on when it measures and parses answers,
// and traps when a promise is broken, so that libFuzzer reports logic faults as well as the memory
// faults the sanitizers catch:
// - the bytes measure as -1, 0 or a whole length within them; every shorter prefix of a whole
//   answer is begun, and it stays whole with more behind it; bytes only begun were never
//   unexplained on the way; bytes that end unexplained never held a whole answer;
// - a parse returns only a refusal's kinds, an exception code only with the kind Exception,
//   always a text; a refusal changes no table entry, every entry stays 0 or 1, and the
//   protocol without input reads never sets an input.
#include <array>
#include <memory>
#include <string>

#include "protocol/ModbusProtocol.h"
#include "protocol/ModbusTcpProtocol.h"
#include "protocol/Protocol55.h"

namespace {
// Enough for any whole answer (the longest is 260 bytes) with stray bytes behind it.
constexpr int32_t kMaxMeasured = 320;

void ParseAndCheck(IProtocol& protocol, const uint8_t* data, int32_t size, bool inputsStayOff) {
    std::array<uint8_t, 64> before{};
    for (uint8_t i = 0; i < 32; ++i) {
        protocol.GetCoilState(i, before[i]);
        protocol.GetInputState(i, before[32 + i]);
    }
    std::string text;
    const AnswerVerdict verdict = protocol.ParseResponse(data, size, text);
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

// The request of the selector, built into a protocol of its kind; traps unless the protocol
// accepts it with its request length (and, for RTU, a CRC its own routine agrees with).
std::unique_ptr<IProtocol> WithRequest(const uint8_t* selection) {
    std::unique_ptr<IProtocol> protocol;
    int32_t requestLength = 8;
    switch (selection[0] % 3) {
    case 0:
        protocol = std::make_unique<ModbusProtocol>();
        break;
    case 1:
        protocol = std::make_unique<ModbusTcpProtocol>();
        requestLength = ModbusTcpProtocol::kRequestLength;
        break;
    default:
        protocol = std::make_unique<Protocol55>();
        break;
    }
    const uint8_t start = selection[1] % 32;
    const uint8_t count = static_cast<uint8_t>(1 + selection[2] % (32 - start));
    uint8_t frame[16];
    int32_t length = 0;
    const int32_t built =
        selection[0] / 3 % 3 == 0 ? protocol->BuildReadCoils(1, start, count, frame, length)
        : selection[0] / 3 % 3 == 1
            ? protocol->BuildReadInputs(1, start, count, frame, length)
            : protocol->BuildWriteCoil(1, 1 + start % 31, selection[2] & 1, frame, length);
    const uint16_t crc = ModbusProtocol::CalcCrc16(frame, 6);
    if (built != 0 || length != requestLength ||
        (selection[0] % 3 == 0 && (frame[6] != (crc & 0xFF) || frame[7] != (crc >> 8))))
        __builtin_trap();
    return protocol;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    std::unique_ptr<IProtocol> protocol = WithRequest(data);
    const bool inputsStayOff = data[0] % 3 == 2;
    data += 3;
    size -= 3;
    const int32_t n = static_cast<int32_t>(size < size_t(kMaxMeasured) ? size : kMaxMeasured);

    const int32_t measured = protocol->AnswerLength(data, n);
    if (measured < -1 || measured > n)
        __builtin_trap();
    const int32_t whole = measured > 0 ? measured : 0;
    // Prefixes worth asking: the short ones, and those around the whole length and the end.
    const int32_t probes[] = {0, 1, 2, 3, 5, 6, 7, 8, 9, whole - 1, whole, whole + 1, n / 2, n - 1};
    for (const int32_t k : probes) {
        if (k < 0 || k > n)
            continue;
        const int32_t prefix = protocol->AnswerLength(data, k);
        const int32_t expected = whole == 0  ? (prefix == -1 && measured == 0 ? 99 : prefix)
                                 : k < whole ? 0
                                             : whole;
        if (prefix != expected || (measured <= 0 && prefix > 0))
            __builtin_trap();
    }
    // The whole answer, as the Device hands it over; then all the bytes as one answer, which
    // a parser must refuse or take without breaking its promises either.
    if (whole > 0) {
        protocol->AnswersLastRequest(data, whole);
        ParseAndCheck(*protocol, data, whole, inputsStayOff);
    }
    if (size_t(whole) != size)
        ParseAndCheck(*protocol, data, static_cast<int32_t>(size), inputsStayOff);
    return 0;
}
