#pragma once

#include <cstdint>
#include <string>

#include "protocol/ErrorKind.h"

// The Modbus application layer that RTU and TCP framing both carry: the request PDUs
// of Read Coils (0x01), Read Discrete Inputs (0x02) and Write Single Coil (0x05), the
// 32 coil and 32 input states that answers report, and the last read request, which
// places the bits of the next read answer. Multi-byte fields are big-endian.
class ModbusPdu {
public:
    static constexpr int32_t kPoints = 32;
    static constexpr int32_t kRequestLength = 5; // function, address, quantity or value
    static constexpr uint8_t kReadCoils = 0x01;
    static constexpr uint8_t kReadInputs = 0x02;
    static constexpr uint8_t kWriteCoil = 0x05;
    static constexpr uint8_t kExceptionBit = 0x80;
    static constexpr const char* kIncomplete = "响应数据不全";

    // True when count is 1..32 and start + count does not pass 32.
    static bool IsReadRangeValid(uint8_t start, uint8_t count);
    // Writes the 5-byte read request PDU for function 0x01 or 0x02 and remembers start
    // and count; false (nothing written or remembered) when the range is refused.
    bool BuildRead(uint8_t function, uint8_t start, uint8_t count, uint8_t* out);
    // Writes the 5-byte Write Single Coil PDU (value FF 00 for on, 00 00 for off) and
    // remembers the coil.
    void BuildWriteCoil(uint8_t index, bool on, uint8_t* out);
    // Mismatch, with its text, when an answer PDU answers another request than the last
    // one built: another function (exception or not), a read answer whose byte count is
    // not the one the requested quantity needs, a write echo of another coil or value.
    // None when it matches, when no request was built yet, or when the PDU is too short
    // to tell (its length is then refused by the caller).
    ErrorKind MatchLastRequest(const uint8_t* pdu, int32_t pduLength, std::string& text) const;
    // MatchLastRequest without the text.
    bool AnswersLastRequest(const uint8_t* pdu, int32_t pduLength) const;

    // Decodes a read answer PDU (function, byte count N, N data bytes) of pduLength
    // bytes against the last read request. On success updates the coil (0x01) or input
    // table and sets list to the decoded entries; false, with no table change, when
    // the PDU holds fewer data bytes than its byte count says.
    bool DecodeRead(const uint8_t* pdu, int32_t pduLength, std::string& list);
    // Applies a write echo's output address and value (4 bytes, big-endian): an address
    // below 32 takes the state. Returns the state, 1 only for the value FF 00.
    uint8_t ApplyWriteEcho(const uint8_t* fields, int32_t& coilAddress);

    uint8_t LastStart() const { return lastStart; }
    // Function code of the last request built; 0 before the first.
    uint8_t LastFunction() const { return lastFunction; }
    // "线圈" for Read Coils, "离散输入" for Read Discrete Inputs.
    static const char* KindWord(uint8_t function);
    // Text of a Modbus exception code.
    static std::string ExceptionText(uint8_t code);

    // State of entry index (0..31) into out; false for a larger index.
    bool GetCoilState(uint8_t index, uint8_t& out) const;
    bool GetInputState(uint8_t index, uint8_t& out) const;
    // Stores value in all 64 entries.
    void ResetStates(uint8_t value);

private:
    uint8_t coilStates[kPoints] = {};
    uint8_t inputStates[kPoints] = {};
    uint8_t lastStart = 0;
    uint8_t lastCount = 0;
    uint8_t lastFunction = 0;
    uint8_t lastWriteIndex = 0;
    uint8_t lastWriteValue = 0; // high byte of the value sent: FF for on, 00 for off
};
