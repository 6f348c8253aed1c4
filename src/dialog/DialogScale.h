#pragma once

#include <cstdint>

// How a dialog template's units become pixels on a screen, the one rule both faces size
// the main window by: the template's font is 14 points of square CJK proportions; one
// horizontal unit is an eighth of its em, one vertical unit an eighth too (the em is the
// vertical base unit), each times its own scale. The scales shrink a dialog that would not
// fit the screen's work area, never so far that text falls below kMinTextPixels screen
// pixels (at any DPI: a small screen at a high DPI needs the room).
class DialogScale {
public:
    static constexpr double kFontPoints = 14.0;
    static constexpr int kMinTextPixels = 10;
    // Room the window system takes around a dialog at 96 DPI: frame and title bar.
    static constexpr int kFrameWidth = 16;
    static constexpr int kFrameHeight = 48;

    explicit DialogScale(double scaleX = 1.0, double scaleY = 1.0, int32_t dpi = 96);

    // The largest scales, at most 1, at which a dialog of dluWidth x dluHeight with its
    // frame fits a work area of availableWidth x availableHeight pixels at dpi; never below
    // the text limit. The frame is frameWidth x frameHeight pixels, or when negative
    // kFrameWidth x kFrameHeight at 96 DPI scaled to dpi. A work area without size gives 1.
    static DialogScale Fit(int32_t dluWidth, int32_t dluHeight, int32_t availableWidth,
                           int32_t availableHeight, int32_t dpi = 96, int32_t frameWidth = -1,
                           int32_t frameHeight = -1);

    double ScaleX() const { return m_scaleX; }
    double ScaleY() const { return m_scaleY; }
    int32_t Dpi() const { return m_dpi; }
    // The em of the dialog font in pixels, scaled with the vertical units.
    double EmPixels() const;
    // The smallest text in pixels.
    int32_t MinTextPixels() const { return kMinTextPixels; }
    // Each value converted by itself and rounded to the nearest pixel.
    int32_t ToPixelsX(int32_t dluX) const;
    int32_t ToPixelsY(int32_t dluY) const;
    // The same scales with the horizontal one raised to scaleX (a caption needs it).
    DialogScale WithScaleX(double scaleX) const { return DialogScale(scaleX, m_scaleY, m_dpi); }

private:
    double m_scaleX;
    double m_scaleY;
    int32_t m_dpi;
};
