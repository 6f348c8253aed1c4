#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <utility>

#include "dialog/DialogScale.h"

// Converts dialog-template units to pixels for dialogs laid out with a 14-point font of square
// CJK proportions at 96 dpi: one horizontal unit is a quarter of the horizontal base unit
// (half the em, 9.33 px), one vertical unit an eighth of the vertical base unit (the em,
// 18.67 px), each times its own scale, which shrinks a dialog for a small screen. Each value
// is converted by itself and rounded to the nearest pixel.
class DialogUnits {
public:
    // The text of a scaled dialog never gets smaller than this.
    static constexpr int kMinTextPixels = DialogScale::kMinTextPixels;

    // Room the window system takes around a dialog: title bar and frame.
    static constexpr int kFrameWidth = DialogScale::kFrameWidth;
    static constexpr int kFrameHeight = DialogScale::kFrameHeight;

    explicit DialogUnits(double scaleX = 1.0, double scaleY = 1.0);

    // The largest scale, at most 1, at which a dialog of dluSize with its title bar and frame
    // fits into the available screen area in width (first) and height (second); never so
    // small that the dialog's font would fall below kMinTextPixels. An empty area gives 1.
    static std::pair<double, double> FitScales(QSize dluSize, QSize available);

    double ScaleX() const { return m_scaleX; }
    double ScaleY() const { return m_scaleY; }
    // The em of the dialog font in pixels: 14 pt at 96 dpi, scaled with the vertical units.
    double EmPixels() const;

    int ToPixelsX(int dluX) const;
    int ToPixelsY(int dluY) const;
    QPoint ToPixels(QPoint dlu) const;
    QSize ToPixels(QSize dlu) const;
    // Position and size converted separately, as a dialog template's x, y, width and height.
    QRect ToPixels(QRect dlu) const;

    // The font the conversion assumes: a Song-style CJK face of EmPixels() (19 px unscaled).
    QFont DialogFont() const;
    // Its families, the first installed one winning, and a colour emoji face for the status
    // lines' symbols (✅ ⚠ ❌) that the others lack.
    static QStringList FontFamilies();

private:
    double m_scaleX;
    double m_scaleY;
};
