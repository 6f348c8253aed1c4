#pragma once

#include <cstdint>

// Where the point timeline puts things on a canvas of width x height pixels: the time axis
// on top, a label column on the left, then 64 lanes (coils 0..31, inputs 0..31) below each
// other; and which time each pixel column of the plot shows, for the range [startUs, endUs).
struct TimelineLayout {
    static constexpr int32_t kLabelWidth = 64;
    static constexpr int32_t kAxisHeight = 20;
    static constexpr int32_t kMinLaneHeight = 6;

    int32_t width = 0;
    int32_t height = 0;
    int64_t startUs = 0;
    int64_t endUs = 1;

    int32_t PlotLeft() const { return kLabelWidth; }
    int32_t PlotWidth() const { return width > kLabelWidth + 1 ? width - kLabelWidth : 1; }
    int32_t LaneHeight() const;
    int32_t LaneTop(int32_t lane) const { return kAxisHeight + lane * LaneHeight(); }
    // The lane under y, or -1 above and below the lanes.
    int32_t LaneAt(int32_t y) const;
    // The pixel column that shows time t (may lie outside the plot).
    int32_t X(int64_t timeUs) const;
    // The time at the left edge of pixel column x.
    int64_t TimeAt(int32_t x) const;
    int64_t SpanUs() const { return endUs - startUs; }
};
