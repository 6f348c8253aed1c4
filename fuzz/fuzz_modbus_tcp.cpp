// Input: two bytes choosing the preceding read request (transaction id 1), then one
// answer frame.
#include "ParseChecks.h"
#include "protocol/ModbusTcpProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ModbusTcpProtocol protocol;
    if (size >= 2) {
        uint8_t frame[16];
        BuildSelectedRead(protocol, data[0], data[1], ModbusTcpProtocol::kRequestLength, frame);
        data += 2;
        size -= 2;
    }
    ParseAndCheck(protocol, data, size, false);
    return 0;
}
