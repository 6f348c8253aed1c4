#include "dialog/DialogScale.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPointsPerInch = 72.0;

int32_t Round(double pixels) {
    return static_cast<int32_t>(std::lround(pixels));
}

double UnscaledEm(int32_t dpi) {
    return DialogScale::kFontPoints * dpi / kPointsPerInch;
}

} // namespace

DialogScale::DialogScale(double scaleX, double scaleY, int32_t dpi)
    : m_scaleX(scaleX), m_scaleY(scaleY), m_dpi(dpi > 0 ? dpi : 96) {}

DialogScale DialogScale::Fit(int32_t dluWidth, int32_t dluHeight, int32_t availableWidth,
                             int32_t availableHeight, int32_t dpi, int32_t frameWidth,
                             int32_t frameHeight) {
    const DialogScale full(1.0, 1.0, dpi);
    if (availableWidth <= 0 || availableHeight <= 0)
        return full;
    const double least = kMinTextPixels / UnscaledEm(full.m_dpi);
    if (frameWidth < 0)
        frameWidth = Round(kFrameWidth * full.m_dpi / 96.0);
    if (frameHeight < 0)
        frameHeight = Round(kFrameHeight * full.m_dpi / 96.0);
    return DialogScale(
        std::clamp(double(availableWidth - frameWidth) / full.ToPixelsX(dluWidth), least, 1.0),
        std::clamp(double(availableHeight - frameHeight) / full.ToPixelsY(dluHeight), least, 1.0),
        full.m_dpi);
}

double DialogScale::EmPixels() const {
    return UnscaledEm(m_dpi) * m_scaleY;
}

int32_t DialogScale::ToPixelsX(int32_t dluX) const {
    return Round(dluX * UnscaledEm(m_dpi) * m_scaleX / 8.0);
}

int32_t DialogScale::ToPixelsY(int32_t dluY) const {
    return Round(dluY * UnscaledEm(m_dpi) * m_scaleY / 8.0);
}
