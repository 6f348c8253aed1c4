// Input: two bytes choosing the preceding read request, then one answer frame.
#include "ParseChecks.h"
#include "protocol/ModbusProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ModbusProtocol protocol;
    if (size >= 2) {
        uint8_t frame[16];
        BuildSelectedRead(protocol, data[0], data[1], ModbusProtocol::kRequestLength, frame);
        // A request must carry a CRC that the same routine accepts.
        const uint16_t crc = ModbusProtocol::CalcCrc16(frame, 6);
        if (frame[6] != (crc & 0xFF) || frame[7] != (crc >> 8))
            __builtin_trap();
        data += 2;
        size -= 2;
    }
    ParseAndCheck(protocol, data, size, false);
    return 0;
}
