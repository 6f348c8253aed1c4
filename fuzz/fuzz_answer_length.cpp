// Input: one selector byte (protocol, and the request built before the answer), then the
// bytes received so far. Checks what the Device relies on when it collects an answer:
// the bytes measure as -1, 0 or a whole length within them; every shorter prefix of a
// whole answer is begun, and it stays whole with more behind it; bytes that are only begun
// were never unexplained on the way; bytes that end unexplained never held a whole answer.
#include <memory>

#include "ParseChecks.h"
#include "protocol/ModbusProtocol.h"
#include "protocol/ModbusTcpProtocol.h"
#include "protocol/Protocol55.h"

namespace {
// Enough for any whole answer (the longest is 260 bytes) with stray bytes behind it.
constexpr int32_t kMaxChecked = 320;

std::unique_ptr<IProtocol> Make(uint8_t selector) {
    switch (selector % 3) {
    case 0:
        return std::make_unique<ModbusProtocol>();
    case 1:
        return std::make_unique<ModbusTcpProtocol>();
    default:
        return std::make_unique<Protocol55>();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    std::unique_ptr<IProtocol> protocol = Make(data[0]);
    uint8_t frame[16];
    int32_t length = 0;
    const uint8_t kind = (data[0] / 3) % 3;
    const int32_t built = kind == 0   ? protocol->BuildReadCoils(1, data[0] % 8, 1 + data[0] % 24, frame, length)
                          : kind == 1 ? protocol->BuildReadInputs(1, 0, 32, frame, length)
                                      : protocol->BuildWriteCoil(1, 1 + data[0] % 31, true, frame, length);
    if (built != 0)
        __builtin_trap();
    ++data;
    const int32_t n = static_cast<int32_t>(size - 1 < size_t(kMaxChecked) ? size - 1 : kMaxChecked);

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
        // Before its whole length an answer is begun; from it on, whole. Bytes that end
        // unexplained (or only begun) never held a whole answer on the way.
        const int32_t expected = whole == 0 ? (prefix == -1 && measured == 0 ? 99 : prefix)
                                 : k < whole ? 0
                                             : whole;
        if (prefix != expected || (measured <= 0 && prefix > 0))
            __builtin_trap();
    }
    if (whole > 0) {
        protocol->AnswersLastRequest(data, whole);
        ParseAndCheck(*protocol, data, static_cast<size_t>(whole), false);
    }
    return 0;
}
