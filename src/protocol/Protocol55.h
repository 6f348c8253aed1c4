#pragma once

#include <cstdint>
#include <string>

#include "protocol/IProtocol.h"

// The relay-board protocol: 8-byte requests beginning 0x55, answers beginning 0x22,
// both ending in an additive 8-bit checksum. Every answer reports all 32 relay
// channels (coil entry k is channel k + 1); the board has no inputs, so every input
// reads OFF.
class Protocol55 : public IProtocol {
public:
    static constexpr int32_t kFrameLength = 8;
    static constexpr int32_t kChannels = 32;

    // Both write the 8-byte read-status request (start and count are not sent);
    // -1 only for a null out.
    int32_t BuildReadCoils(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                           int32_t& outLength) override;
    int32_t BuildReadInputs(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                            int32_t& outLength) override;
    // Writes the toggle request for channel 1..32 (on is not sent: the relay toggles and
    // the answer tells the result); -1 for another channel or a null out.
    int32_t BuildWriteCoil(uint8_t address, uint8_t channel, bool on, uint8_t* out,
                           int32_t& outLength) override;
    // Accepts an answer of 8 or more bytes with header 0x22, a correct checksum in the
    // last byte (Checksum) and a known command (Malformed otherwise), from the address
    // asked and answering the command sent (Mismatch otherwise), taking all 32 relay
    // states from bytes 3..6.
    AnswerVerdict ParseResponse(const uint8_t* data, int32_t length, std::string& text) override;
    // Whole at 8 bytes beginning 0x22 with a good checksum; another first byte, or a
    // bad checksum, explains nothing.
    int32_t AnswerLength(const uint8_t* data, int32_t length) const override;
    // False when the answer comes from another address than the one asked, or answers
    // another command than the last request's.
    bool AnswersLastRequest(const uint8_t* data, int32_t length) const override;
    // Coil index 0..31 is channel index + 1; false for a larger index.
    bool GetCoilState(uint8_t index, uint8_t& out) override;
    // Always 0 for 0..31; false for a larger index.
    bool GetInputState(uint8_t index, uint8_t& out) override;
    // Sets every coil entry to value; inputs stay 0.
    void ResetStates(uint8_t value) override;
    std::string GetName() override;

    // Sum of the bytes modulo 256; 0 for no bytes or a null pointer.
    static uint8_t CalcSum8(const uint8_t* data, int32_t length);

private:
    void Frame(uint8_t address, uint8_t command, uint8_t channel, uint8_t* out, int32_t& outLength);
    void UnpackRelayStates(const uint8_t* status);
    bool AnswersCommand(uint8_t answered) const;

    uint8_t coilStates[kChannels] = {};
    uint8_t inputStates[kChannels] = {};
    // Only to recognise a late answer; answers are parsed without it.
    uint8_t lastCommand = 0;
    uint8_t lastAddress = 0;
};
