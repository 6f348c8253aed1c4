#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16 of the Modbus serial line: start 0xFFFF, reflected polynomial 0xA001, no final
// XOR. On the wire the low byte goes first.
uint16_t ModbusCrc16(const uint8_t *data, size_t length);

// Sum of the bytes modulo 256: the checksum of the 0x55 relay protocol.
uint8_t Sum8(const uint8_t *data, size_t length);
