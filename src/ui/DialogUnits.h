#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

// Converts dialog-template units to pixels for dialogs laid out with a 14-point font of
// square CJK proportions at 96 dpi: one horizontal unit is a quarter of the horizontal base
// unit (half the em, 9.33 px), one vertical unit an eighth of the vertical base unit (the em,
// 18.67 px). Each value is converted by itself and rounded to the nearest pixel.
namespace DialogUnits {

// The em of the dialog font in pixels: 14 pt at 96 dpi.
double EmPixels();
double HorizontalBaseUnit();
double VerticalBaseUnit();

int ToPixelsX(int dluX);
int ToPixelsY(int dluY);
QPoint ToPixels(QPoint dlu);
QSize ToPixels(QSize dlu);
// Position and size converted separately, as a dialog template's x, y, width and height.
QRect ToPixels(QRect dlu);

// The font the conversion assumes: a Song-style CJK face, 19 px (14 pt at 96 dpi).
QFont DialogFont();

} // namespace DialogUnits
