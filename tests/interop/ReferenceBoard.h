#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "protocol/IProtocol.h"

// A relay board with 32 coils and 32 inputs that answers requests correctly in Modbus RTU,
// Modbus TCP or the 0x55 relay protocol. Written from the wire formats, independently of
// the protocol classes under test. Safe to call from a peer's thread.
class ReferenceBoard {
public:
    using Bytes = std::vector<uint8_t>;

    explicit ReferenceBoard(ProtocolType protocol, uint8_t address = 1);

    // The answer to one whole request; empty (silence) for anything it does not understand.
    Bytes Answer(const Bytes& request);

    void SetCoil(int index, bool on);
    void SetInput(int index, bool on);
    bool Coil(int index);

private:
    Bytes AnswerModbusPdu(const uint8_t* pdu, size_t length);

    ProtocolType protocol;
    uint8_t address;
    std::mutex mutex;
    bool coils[32] = {};
    bool inputs[32] = {};
};
