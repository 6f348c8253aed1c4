#pragma once

#include <cstdint>
#include <vector>

#include "Request.h"

// Frames answers. Knows the wire layouts, nothing of the board.
class AnswerEncoder {
public:
    // A Modbus answer PDU (function code and data) framed like the request it answers:
    // RTU adds the address in front and the CRC (low byte first) behind; TCP puts the
    // request's MBAP header in front, with the length of unit identifier and PDU.
    static std::vector<uint8_t> Modbus(const Request &request, const std::vector<uint8_t> &pdu);
    // The exception PDU for `function`: function with bit 7 set, then the code.
    static std::vector<uint8_t> ExceptionPdu(uint8_t function, uint8_t code);
    // Packs count points (bit 0 of `word` shifted by start is the first) least
    // significant bit first: the data of a Read Coils or Read Discrete Inputs answer,
    // preceded by the function code and the byte count.
    static std::vector<uint8_t> ReadPdu(uint8_t function, uint32_t word, int start, int count);
    // The 8-byte relay answer: 0x22, address, the answered command, the status word
    // big-endian (bit 0 = channel 1), and the sum of the seven bytes before.
    static std::vector<uint8_t> Relay55(uint8_t address, uint8_t command, uint32_t status);
};
