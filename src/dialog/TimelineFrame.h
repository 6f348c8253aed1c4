#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialog/Rgb.h"

// What the point timeline shows, in canvas pixels (x right, y down), for a face to paint as
// it is, in order: shapes first, then texts.
struct TimelineShape {
    enum class Kind : uint8_t {
        Line,  // from (x0, y0) to (x1, y1), both ends included, 1 px wide
        Fill,  // the rectangle [x0, x1) x [y0, y1), filled
        Hatch, // the rectangle [x0, x1) x [y0, y1), hatched diagonally: a level not known
    };
    Kind kind = Kind::Line;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    Rgb colour;
};

// A text, left-aligned and vertically centred in [x0, x1) x [y0, y1), clipped to it.
struct TimelineText {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    Rgb colour;
    std::string text;
};

struct TimelineFrame {
    Rgb background;
    std::vector<TimelineShape> shapes;
    std::vector<TimelineText> texts;
};
