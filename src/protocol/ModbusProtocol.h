#pragma once

#include <cstdint>
#include <string>

#include "protocol/IProtocol.h"
#include "protocol/ModbusPdu.h"

// Modbus RTU: device address, PDU and a CRC-16 trailer sent low byte first. Every
// request is 8 bytes. The device address of an answer is reported, not compared.
class ModbusProtocol : public IProtocol {
public:
    static constexpr int32_t kRequestLength = 8;

    // Write an 8-byte read request and remember start and count for the answer; -1
    // (nothing written) for a count outside 1..32, start + count above 32 or a null out.
    int32_t BuildReadCoils(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                           int32_t& outLength) override;
    int32_t BuildReadInputs(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                            int32_t& outLength) override;
    // Writes the 8-byte Write Single Coil request; the caller keeps index below 32.
    // -1 only for a null out.
    int32_t BuildWriteCoil(uint8_t address, uint8_t index, bool on, uint8_t* out,
                           int32_t& outLength) override;
    // Accepts a read answer or a write echo; refuses a frame shorter than 4 bytes
    // (Malformed), a CRC mismatch (Checksum), an answer to another request (Mismatch:
    // another function, byte count, coil or value), a device exception (Exception), a
    // read answer with fewer data bytes than its byte count, a write echo shorter than 8
    // bytes and other function codes (Malformed).
    AnswerVerdict ParseResponse(const uint8_t* data, int32_t length, std::string& text) override;
    // Address, function, then the byte count (0x01, 0x02), 8 bytes (0x05) or 5 bytes
    // (an exception), whole only with a good CRC.
    int32_t AnswerLength(const uint8_t* data, int32_t length) const override;
    bool AnswersLastRequest(const uint8_t* data, int32_t length) const override;
    bool GetCoilState(uint8_t index, uint8_t& out) override;
    bool GetInputState(uint8_t index, uint8_t& out) override;
    void ResetStates(uint8_t value) override;
    std::string GetName() override;

    // CRC-16/MODBUS: register 0xFFFF, each byte XORed into the low bits, then eight
    // right shifts with 0xA001 XORed in after a 1 bit, no final XOR. Bit by bit, so that
    // it reads as the line standard describes it. 0xFFFF for no bytes or a null pointer.
    static uint16_t CalcCrc16(const uint8_t* data, int32_t length);

private:
    int32_t BuildRead(uint8_t function, uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                      int32_t& outLength);
    static void Frame(uint8_t address, uint8_t* out, int32_t& outLength);
    AnswerVerdict ParseReadResponse(const uint8_t* frame, int32_t length, std::string& text);

    ModbusPdu pdu;
};
