#pragma once

#include <cstdint>
#include <string>

#include "protocol/ErrorKind.h"

// Kind of protocol a Device creates. Values outside 0..2 name no protocol.
enum class ProtocolType : int32_t { ModbusRtu = 0, ModbusTcp = 1, Protocol55 = 2 };

// Outcome of every coil or input operation of a Device.
struct OperationResult {
    bool success = false;
    // 0 on success; on failure one of: -1 not connected, -2 coil index out of range,
    // -3 send failed, -4 receive failed, -5 time-out, -6 no protocol to parse with,
    // -7 cancelled, -8 request not built, -9 answer refused by the protocol (its kind
    // tells why), -10 connection closed. Code decides by kind; the code is for scripts.
    int32_t code = 0;
    std::string message;              // failure reason, empty on success
    std::string detail;               // protocol's description of an accepted answer
    ErrorKind kind = ErrorKind::None; // what failed; None on success
    uint8_t exceptionCode = 0;        // the board's exception code when kind is Exception
};

// The verdict on one answer: kind None when it was accepted; otherwise why it was
// refused (Checksum, Malformed, Mismatch, Exception), with the board's exception code
// when the kind is Exception.
struct AnswerVerdict {
    ErrorKind kind = ErrorKind::None;
    uint8_t exceptionCode = 0;

    bool Accepted() const { return kind == ErrorKind::None; }
};

// Builds request frames, checks and decodes answers, and holds the last
// reported coil and input states (32 each, 0 OFF, 1 ON).
class IProtocol {
public:
    virtual ~IProtocol() = default;

    // Writes a read-coils request to out (12 bytes suffice): 0 and outLength set,
    // or -1 for refused arguments with out and outLength untouched.
    virtual int32_t BuildReadCoils(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                                   int32_t& outLength) = 0;
    // The same for discrete inputs.
    virtual int32_t BuildReadInputs(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                                    int32_t& outLength) = 0;
    // Writes a request that switches one coil: 0, or -1 for a refused index.
    virtual int32_t BuildWriteCoil(uint8_t address, uint8_t index, bool on, uint8_t* out,
                                   int32_t& outLength) = 0;
    // Checks and decodes one answer against the last request built: accepted with the
    // tables updated and text describing it, or refused with its kind, the reason in
    // text and the tables unchanged. Before any request is built, answers are checked
    // only for their own form.
    virtual AnswerVerdict ParseResponse(const uint8_t* data, int32_t length, std::string& text) = 0;
    // Measures the answer at the start of the bytes received so far: its whole length
    // once they hold it, 0 while they are the plausible beginning of one, -1 when no
    // answer header explains them (they are then parsed as they are).
    virtual int32_t AnswerLength(const uint8_t* data, int32_t length) const = 0;
    // For a whole answer of AnswerLength bytes: false when it evidently answers another
    // request than the last one built (a late answer), true otherwise.
    virtual bool AnswersLastRequest(const uint8_t* data, int32_t length) const = 0;
    // State of coil/input index (0..31) into out; false for a larger index.
    virtual bool GetCoilState(uint8_t index, uint8_t& out) = 0;
    virtual bool GetInputState(uint8_t index, uint8_t& out) = 0;
    // Stores value in every table entry.
    virtual void ResetStates(uint8_t value) = 0;
    // Display name ("Modbus RTU", "Modbus TCP", "55协议").
    virtual std::string GetName() = 0;
};
