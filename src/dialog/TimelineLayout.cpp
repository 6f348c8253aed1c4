#include "dialog/TimelineLayout.h"

#include <algorithm>
#include <cmath>

#include "history/PointHistory.h"

int32_t TimelineLayout::LaneHeight() const {
    return std::max(kMinLaneHeight, (height - kAxisHeight - 2) / kHistoryPoints);
}

int32_t TimelineLayout::LaneAt(int32_t y) const {
    if (y < kAxisHeight)
        return -1;
    const int32_t lane = (y - kAxisHeight) / LaneHeight();
    return lane < kHistoryPoints ? lane : -1;
}

int32_t TimelineLayout::X(int64_t timeUs) const {
    const double x = PlotLeft() + static_cast<double>(timeUs - startUs) * PlotWidth() /
                                      static_cast<double>(SpanUs());
    return static_cast<int32_t>(std::floor(std::clamp(x, -1e9, 1e9)));
}

int64_t TimelineLayout::TimeAt(int32_t x) const {
    return startUs +
           static_cast<int64_t>(std::llround(static_cast<double>(x - PlotLeft()) *
                                             static_cast<double>(SpanUs()) / PlotWidth()));
}
