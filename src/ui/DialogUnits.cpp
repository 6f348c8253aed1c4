#include "ui/DialogUnits.h"

#include <QStringList>

#include <cmath>

namespace DialogUnits {

namespace {
constexpr double kFontPoints = 14.0;
constexpr double kDotsPerInch = 96.0;
constexpr double kPointsPerInch = 72.0;

int Round(double pixels) {
    return static_cast<int>(std::lround(pixels));
}
} // namespace

double EmPixels() {
    return kFontPoints * kDotsPerInch / kPointsPerInch;
}
double HorizontalBaseUnit() {
    return EmPixels() / 2.0;
}
double VerticalBaseUnit() {
    return EmPixels();
}

int ToPixelsX(int dluX) {
    return Round(dluX * HorizontalBaseUnit() / 4.0);
}
int ToPixelsY(int dluY) {
    return Round(dluY * VerticalBaseUnit() / 8.0);
}

QPoint ToPixels(QPoint dlu) {
    return QPoint(ToPixelsX(dlu.x()), ToPixelsY(dlu.y()));
}
QSize ToPixels(QSize dlu) {
    return QSize(ToPixelsX(dlu.width()), ToPixelsY(dlu.height()));
}
QRect ToPixels(QRect dlu) {
    return QRect(ToPixels(dlu.topLeft()), ToPixels(dlu.size()));
}

QFont DialogFont() {
    QFont font;
    // The first face that is installed wins; the Noto faces stand in for SimSun on Linux.
    font.setFamilies(QStringList{QStringLiteral("SimSun"), QStringLiteral("宋体"),
                                 QStringLiteral("Noto Serif CJK SC"),
                                 QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(Round(EmPixels()));
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace DialogUnits
