#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The three framings the board understands. Each request says which one it used, and
// its answer goes back in the same framing.
enum class WireProtocol { ModbusRtu, ModbusTcp, Protocol55 };

// The protocol named by "rtu", "tcp" or "55"; nothing for any other text.
std::optional<WireProtocol> ParseWireProtocol(const std::string &name);

// One whole request as the decoder recognised it.
struct Request {
    WireProtocol protocol = WireProtocol::ModbusRtu;
    std::vector<uint8_t> frame; // every byte of the request as received
    uint8_t address = 0;        // RTU address, MBAP unit identifier or 0x55 frame address
    uint16_t transactionId = 0; // Modbus TCP only
    std::vector<uint8_t> pdu;   // Modbus: function code and data
    uint8_t command = 0;        // 0x55 only: the command byte
    uint8_t channel = 0;        // 0x55 only: relay channel 1..32, 0 for reading
};
