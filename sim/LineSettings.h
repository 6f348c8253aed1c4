#pragma once

#include <string>

struct termios; // POSIX: the serial line exists on Linux only

// The serial settings a board on a real line is set to. On a pseudo-terminal no bits are
// framed, so the simulator compares them with what the tool set on its end of the pty.
struct LineSettings {
    int baud = 9600;
    char parity = 'N'; // N, E or O
    int dataBits = 8;
    int stopBits = 1;

    // Reads "BAUD[,PARITY[,DATA[,STOP]]]" (19200,even or 9600,none,8,1) with a standard
    // rate 300..230400, parity none, even or odd, 7 or 8 data bits, 1 or 2 stop bits. False
    // for anything else.
    static bool Parse(const std::string& text, LineSettings& out);
    // True when the port settings `port` have this line's rate and stop bits. Parity and
    // data bits are not compared: a Linux pty does not keep them.
    bool Matches(const termios& port) const;
    // "19200 8E1".
    std::string Text() const;
    static std::string Text(const termios& port);
};
