#pragma once

#include <cstdint>
#include <string>

#include "protocol/IProtocol.h"
#include "protocol/ModbusPdu.h"

// Modbus TCP: a 7-byte MBAP header (transaction id, protocol id 0, length, unit id)
// in front of the PDU, no checksum. Every request is 12 bytes and takes the next
// transaction id; an answer must carry the id of the most recent request.
class ModbusTcpProtocol : public IProtocol {
public:
    static constexpr int32_t kRequestLength = 12;

    // Write a 12-byte read request, remember start and count and take a transaction id;
    // -1 (nothing written, no id taken) for a count outside 1..32, start + count above
    // 32 or a null out.
    int32_t BuildReadCoils(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                           int32_t& outLength) override;
    int32_t BuildReadInputs(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                            int32_t& outLength) override;
    // Writes the 12-byte Write Single Coil request and takes an id; -1 only for a null out.
    int32_t BuildWriteCoil(uint8_t address, uint8_t index, bool on, uint8_t* out,
                           int32_t& outLength) override;
    // Accepts a read answer or a write echo; refuses another transaction id or an answer
    // to another request (Mismatch: function, byte count, coil or value), an exception
    // (Exception), and as Malformed fewer than 9 bytes, a protocol id other than 0, fewer
    // bytes than the length field announces, a PDU too short for its function and other
    // function codes.
    // Bytes beyond the announced length are ignored.
    AnswerVerdict ParseResponse(const uint8_t* data, int32_t length, std::string& text) override;
    // Whole at the MBAP length field's 6 + L bytes; a protocol identifier other than 0,
    // or a length below 2 or beyond the longest frame, explains nothing.
    int32_t AnswerLength(const uint8_t* data, int32_t length) const override;
    // False for another transaction identifier than the request's.
    bool AnswersLastRequest(const uint8_t* data, int32_t length) const override;
    bool GetCoilState(uint8_t index, uint8_t& out) override;
    bool GetInputState(uint8_t index, uint8_t& out) override;
    void ResetStates(uint8_t value) override;
    std::string GetName() override;

private:
    int32_t BuildRead(uint8_t function, uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                      int32_t& outLength);
    void Frame(uint8_t address, uint8_t* out, int32_t& outLength);
    AnswerVerdict ParseReadResponse(const uint8_t* pduBytes, int32_t pduLength, std::string& text);

    ModbusPdu pdu;
    // Starts at 1 and, after 0xFFFF, wraps to 1, so 0 is never sent after a wrap.
    uint16_t nextTransactionId = 1;
    uint16_t expectedTransactionId = 0;
};
