#include "ui/qt/DialogUnits.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kFontPoints = 14.0;
constexpr double kDotsPerInch = 96.0;
constexpr double kPointsPerInch = 72.0;
constexpr double kUnscaledEm = kFontPoints * kDotsPerInch / kPointsPerInch;

int Round(double pixels) {
    return static_cast<int>(std::lround(pixels));
}
} // namespace

DialogUnits::DialogUnits(double scaleX, double scaleY) : m_scaleX(scaleX), m_scaleY(scaleY) {}

std::pair<double, double> DialogUnits::FitScales(QSize dluSize, QSize available) {
    if (available.isEmpty())
        return {1.0, 1.0};
    // The layer's rule, the one the Win32 face sizes its window by too (Qt's pixels are
    // those of 96 dpi).
    const DialogScale scale =
        DialogScale::Fit(dluSize.width(), dluSize.height(), available.width(), available.height());
    return {scale.ScaleX(), scale.ScaleY()};
}

double DialogUnits::EmPixels() const {
    return kUnscaledEm * m_scaleY;
}

int DialogUnits::ToPixelsX(int dluX) const {
    return Round(dluX * kUnscaledEm * m_scaleX / 2.0 / 4.0);
}
int DialogUnits::ToPixelsY(int dluY) const {
    return Round(dluY * kUnscaledEm * m_scaleY / 8.0);
}

QPoint DialogUnits::ToPixels(QPoint dlu) const {
    return QPoint(ToPixelsX(dlu.x()), ToPixelsY(dlu.y()));
}
QSize DialogUnits::ToPixels(QSize dlu) const {
    return QSize(ToPixelsX(dlu.width()), ToPixelsY(dlu.height()));
}
QRect DialogUnits::ToPixels(QRect dlu) const {
    return QRect(ToPixels(dlu.topLeft()), ToPixels(dlu.size()));
}

QStringList DialogUnits::FontFamilies() {
    // The Noto faces stand in for SimSun on Linux.
    return {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Color Emoji")};
}

QFont DialogUnits::DialogFont() const {
    QFont font;
    font.setFamilies(FontFamilies());
    font.setPixelSize(std::max(kMinTextPixels, Round(EmPixels())));
    font.setWeight(QFont::Normal);
    return font;
}
