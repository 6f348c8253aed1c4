#include "dialog/TimelineFrameBuilder.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "dialog/UserFolders.h"
#include "history/PointHistory.h"

namespace {

// One lane while a frame is built: the run of pixels that shows the level set last.
struct LaneRun {
    int32_t startX = 0;
    PointLevel level = PointLevel::Unknown;
    bool busy = false;          // its first column holds more than one change
    size_t lastFill = SIZE_MAX; // the lane's newest busy block, to be widened
};

// The shapes of one lane, kept together so that a face paints a lane's lines in one go.
class LanePainter {
public:
    LanePainter(int32_t top, int32_t height, Rgb trace)
        : m_top(top), m_height(height), m_trace(trace) {}

    // Moves the lane's shapes to the end of the frame's.
    void AppendTo(TimelineFrame& frame) {
        frame.shapes.insert(frame.shapes.end(), m_shapes.begin(), m_shapes.end());
        m_shapes.clear();
    }

    void Start(int32_t x, PointLevel level) { m_run = LaneRun{x, level, false, SIZE_MAX}; }

    void Change(int32_t x, PointLevel level) {
        if (x <= m_run.startX) {
            m_run.busy = m_run.busy || level != m_run.level;
            m_run.level = level;
            return;
        }
        const PointLevel before = m_run.level;
        // Changes in neighbouring columns join one block, as in a column of its own: edge
        // after edge one pixel apart would paint the same, at many times the cost.
        const bool crowded = x == m_run.startX + 1 && m_run.level != PointLevel::Unknown &&
                             level != PointLevel::Unknown;
        m_run.busy = m_run.busy || crowded;
        Close(x);
        const size_t lastFill = m_run.lastFill;
        m_run = LaneRun{x, level, crowded, lastFill};
        if (!crowded && before != PointLevel::Unknown && level != PointLevel::Unknown &&
            before != level)
            Shape(TimelineShape::Kind::Line, x, HighY(), x, LowY());
    }

    // Draws the open run up to column endX (not included).
    void Close(int32_t endX) {
        int32_t x = m_run.startX;
        if (x >= endX)
            return;
        if (m_run.busy) {
            TimelineShape* fill = m_run.lastFill != SIZE_MAX ? &m_shapes[m_run.lastFill] : nullptr;
            if (fill != nullptr && fill->x1 == x) {
                fill->x1 = x + 1;
            } else {
                m_run.lastFill = m_shapes.size();
                Shape(TimelineShape::Kind::Fill, x, HighY(), x + 1, LowY() + 1);
            }
            ++x;
        }
        if (x >= endX)
            return;
        switch (m_run.level) {
        case PointLevel::High:
            Shape(TimelineShape::Kind::Line, x, HighY(), endX - 1, HighY());
            break;
        case PointLevel::Low:
            Shape(TimelineShape::Kind::Line, x, LowY(), endX - 1, LowY());
            break;
        case PointLevel::Unknown:
            Shape(TimelineShape::Kind::Hatch, x, m_top + 1, endX, m_top + m_height - 1);
            break;
        }
    }

private:
    int32_t HighY() const { return m_top + 2; }
    int32_t LowY() const { return m_top + m_height - 3; }
    void Shape(TimelineShape::Kind kind, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        m_shapes.push_back(TimelineShape{
            kind, x0, y0, x1, y1,
            kind == TimelineShape::Kind::Hatch ? TimelineFrameBuilder::kHatch : m_trace});
    }

    std::vector<TimelineShape> m_shapes;
    int32_t m_top, m_height;
    Rgb m_trace;
    LaneRun m_run;
};

// Tick spacing of the axis: 1, 2 or 5 times a power of ten µs, at least minUs.
int64_t TickStep(int64_t minUs) {
    for (int64_t decade = 1;; decade *= 10) {
        for (int64_t factor : {1, 2, 5}) {
            if (decade * factor >= minUs)
                return decade * factor;
        }
    }
}

} // namespace

std::string TimelineFrameBuilder::LaneName(int32_t point) {
    char name[32];
    if (point < kFirstInputPoint)
        std::snprintf(name, sizeof name, "线圈%02d", static_cast<int>(point));
    else
        std::snprintf(name, sizeof name, "输入%02d", static_cast<int>(point - kFirstInputPoint));
    return name;
}

std::string TimelineFrameBuilder::ClockText(const PointHistory& history, int64_t timeUs,
                                            bool withMs) {
    const int64_t wallUs = history.OriginWallUs() + timeUs;
    const int64_t wallMs = wallUs >= 0 ? wallUs / 1000 : (wallUs - 999) / 1000;
    const std::tm local = UserFolders::LocalTime(static_cast<std::time_t>(wallMs / 1000));
    char text[32];
    if (withMs)
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                      local.tm_sec, static_cast<int>(wallMs % 1000));
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                      local.tm_sec);
    return text;
}

int64_t TimelineFrameBuilder::KnownFromUs(const PointHistory& history) {
    return history.Dropped() > 0 ? history.DroppedThroughUs() : 0;
}

TimelineFrame TimelineFrameBuilder::Build(const PointHistory& history, const TimelineLayout& layout,
                                          int64_t endUs) {
    TimelineFrame frame;
    frame.background = kBackground;
    const int32_t plotLeft = layout.PlotLeft();
    const int32_t plotRight = plotLeft + layout.PlotWidth();
    const int32_t laneHeight = layout.LaneHeight();
    const int32_t lanesBottom = layout.LaneTop(kHistoryPoints);

    // The axis: ticks at least 90 px apart, with a grid line down through the lanes.
    const int64_t step = TickStep(std::max<int64_t>(1, layout.SpanUs() * 90 / layout.PlotWidth()));
    const int64_t firstTick =
        (layout.startUs >= 0 ? (layout.startUs + step - 1) / step : layout.startUs / step) * step;
    for (int64_t t = firstTick; t < layout.endUs; t += step) {
        const int32_t x = layout.X(t);
        frame.shapes.push_back(
            {TimelineShape::Kind::Line, x, TimelineLayout::kAxisHeight - 4, x, lanesBottom, kGrid});
        frame.texts.push_back({x + 3, 0, x + 90, TimelineLayout::kAxisHeight - 2, kAxisText,
                               ClockText(history, t, step < 1000000)});
    }
    for (int32_t point = 0; point < kHistoryPoints; ++point) {
        const int32_t top = layout.LaneTop(point);
        frame.texts.push_back({4, top, plotLeft - 2, top + laneHeight,
                               point < kFirstInputPoint ? kCoilTrace : kInputTrace,
                               LaneName(point)});
    }
    frame.shapes.push_back({TimelineShape::Kind::Line, plotLeft,
                            layout.LaneTop(kFirstInputPoint) - 1, plotRight - 1,
                            layout.LaneTop(kFirstInputPoint) - 1, kGrid});

    // The lanes, from the left edge of the plot to the latest moment known.
    const int32_t endX = std::min(plotRight, layout.X(endUs) + 1);
    if (endX <= plotLeft)
        return frame;
    const int64_t knownFrom = KnownFromUs(history);
    std::vector<LanePainter> lanes;
    lanes.reserve(kHistoryPoints);
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        lanes.emplace_back(layout.LaneTop(point), laneHeight,
                           point < kFirstInputPoint ? kCoilTrace : kInputTrace);

    // The levels at the left edge: the newest change of each point before it.
    const size_t first = history.FirstAtOrAfter(layout.startUs);
    PointLevel start[kHistoryPoints];
    bool found[kHistoryPoints] = {};
    int32_t missing = kHistoryPoints;
    for (size_t i = first; i > 0 && missing > 0; --i) {
        const PointChange& c = history.At(i - 1);
        if (!found[c.point]) {
            found[c.point] = true;
            start[c.point] = c.level;
            --missing;
        }
    }
    for (int32_t point = 0; point < kHistoryPoints; ++point) {
        if (!found[point])
            start[point] = history.LevelBefore(point);
        lanes[point].Start(plotLeft,
                           layout.startUs < knownFrom ? PointLevel::Unknown : start[point]);
    }
    if (layout.startUs < knownFrom && knownFrom < layout.endUs) {
        const int32_t x = std::max(plotLeft, layout.X(knownFrom));
        for (int32_t point = 0; point < kHistoryPoints; ++point)
            lanes[point].Change(x, history.LevelBefore(point));
    }
    const int64_t until = std::min(layout.endUs, endUs);
    for (size_t i = first; i < history.Size(); ++i) {
        const PointChange& c = history.At(i);
        if (c.timeUs > until)
            break;
        lanes[c.point].Change(std::max(plotLeft, layout.X(c.timeUs)), c.level);
    }
    for (LanePainter& lane : lanes) {
        lane.Close(endX);
        lane.AppendTo(frame);
    }
    return frame;
}
