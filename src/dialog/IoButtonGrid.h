#pragma once

#include <cstdint>

// A rectangle in pixels: left, top, width, height.
struct PixelRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Where the 32 coil and 32 input buttons go: 8 columns by 4 rows inside a group box, index 0
// at the top left, numbered row by row, 2 px apart. One cell size serves both grids; it is
// taken from the inputs' group box, so both grids always match.
class IoButtonGrid {
public:
    // inputBox: the inputs' group box (1019) in the dialog's client pixels.
    explicit IoButtonGrid(const PixelRect& inputBox);

    // The rectangle of button index (0..31) in the grid of the given group box.
    PixelRect Cell(const PixelRect& groupBox, int32_t index) const;

private:
    int32_t m_cellWidth;
    int32_t m_cellHeight;
};
