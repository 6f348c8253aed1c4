#pragma once

#include <cstdint>

// A colour as plain red, green and blue components, 0..255 each.
struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    bool operator==(const Rgb& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
    bool operator!=(const Rgb& other) const { return !(*this == other); }
};
