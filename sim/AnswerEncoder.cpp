#include "AnswerEncoder.h"

#include "Checksums.h"

std::vector<uint8_t> AnswerEncoder::Modbus(const Request &request,
                                           const std::vector<uint8_t> &pdu) {
    std::vector<uint8_t> out;
    if (request.protocol == WireProtocol::ModbusTcp) {
        const size_t length = pdu.size() + 1; // unit identifier and PDU
        out = {static_cast<uint8_t>(request.transactionId >> 8),
               static_cast<uint8_t>(request.transactionId & 0xFF),
               0x00,
               0x00,
               static_cast<uint8_t>(length >> 8),
               static_cast<uint8_t>(length & 0xFF),
               request.address};
        out.insert(out.end(), pdu.begin(), pdu.end());
        return out;
    }
    out.push_back(request.address);
    out.insert(out.end(), pdu.begin(), pdu.end());
    const uint16_t crc = ModbusCrc16(out.data(), out.size());
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    return out;
}

std::vector<uint8_t> AnswerEncoder::ExceptionPdu(uint8_t function, uint8_t code) {
    return {static_cast<uint8_t>(function | 0x80), code};
}

std::vector<uint8_t> AnswerEncoder::ReadPdu(uint8_t function, uint32_t word, int start, int count) {
    const int byteCount = (count + 7) / 8;
    std::vector<uint8_t> pdu{function, static_cast<uint8_t>(byteCount)};
    pdu.resize(2 + static_cast<size_t>(byteCount), 0);
    for (int i = 0; i < count; ++i) {
        if (word >> (start + i) & 1u)
            pdu[2 + static_cast<size_t>(i / 8)] |= 1u << (i % 8);
    }
    return pdu;
}

std::vector<uint8_t> AnswerEncoder::Relay55(uint8_t address, uint8_t command, uint32_t status) {
    std::vector<uint8_t> out{0x22,
                             address,
                             command,
                             static_cast<uint8_t>(status >> 24),
                             static_cast<uint8_t>(status >> 16),
                             static_cast<uint8_t>(status >> 8),
                             static_cast<uint8_t>(status)};
    out.push_back(Sum8(out.data(), out.size()));
    return out;
}
