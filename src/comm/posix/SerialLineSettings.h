#pragma once

#include <cstdint>
#include <termios.h>

#include "comm/ICommunication.h"

// The terminal attributes of a serial port opened by the transport: a raw line that passes
// every byte unchanged (no echo, no canonical mode, no CR/LF rewriting, no XON/XOFF), with
// the baud rate, data bits, parity and stop bits of a SerialConfig. Codes are taken from
// the low 8 bits of each field: parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits
// 0 one, 2 two (one and a half cannot be expressed on this system).
struct SerialLineSettings {
    termios attributes{};
    // The rate has no B* constant; it must be set separately (see ArbitraryBaudRate.h).
    bool arbitraryRate = false;
    uint32_t baudRate = 0;

    // Builds the attributes on top of those the port reported, keeping what the settings
    // do not name (hardware flow control among them). False, with *out untouched, for
    // a baud rate of 0, data bits outside 5..8, an unknown parity or a stop-bit code
    // other than 0 and 2.
    static bool Compose(const SerialConfig& config, const termios& reported,
                        SerialLineSettings* out);

    // True when the attributes read back from the port carry everything that was asked
    // for. A pseudo-terminal has no line: it always reports 8 data bits and no parity,
    // which is then not counted as a refusal.
    bool TakenBy(const termios& readBack, bool pseudoTerminal) const;
    // True when a read-back rate lies within the tolerance of a UART (2 %) of the rate
    // asked for; drivers report the rate they really run at.
    bool RateTaken(uint32_t outputRate, uint32_t inputRate) const;
};
