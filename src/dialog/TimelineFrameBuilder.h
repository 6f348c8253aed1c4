#pragma once

#include <cstdint>
#include <string>

#include "dialog/TimelineFrame.h"
#include "dialog/TimelineLayout.h"

class PointHistory;

// Draws a PointHistory as a logic analyser does: per lane a high or a low line, a vertical
// edge where the level flips, a filled block where one pixel column holds more than one
// change, hatching where the level is not known (before the first connect, before the oldest
// change kept when older ones were dropped, and in the gaps the history records). Above the
// lanes, a time axis in local clock time.
class TimelineFrameBuilder {
public:
    static constexpr Rgb kBackground{24, 24, 24};
    static constexpr Rgb kGrid{58, 58, 58};
    static constexpr Rgb kAxisText{200, 200, 200};
    static constexpr Rgb kCoilTrace{80, 180, 255};
    static constexpr Rgb kInputTrace{110, 220, 110};
    static constexpr Rgb kHatch{125, 125, 125};

    // endUs: the latest moment the history knows (now while connected); nothing is drawn
    // to the right of it.
    static TimelineFrame Build(const PointHistory& history, const TimelineLayout& layout,
                               int64_t endUs);
    // "coil03"-like lane name as the window shows it: "线圈03", "输入03".
    static std::string LaneName(int32_t point);
    // Local clock time of a history time: "14:02:05.123" (withMs) or "14:02:05".
    static std::string ClockText(const PointHistory& history, int64_t timeUs, bool withMs);
    // The first moment whose levels the history knows: 0, or the newest dropped change.
    static int64_t KnownFromUs(const PointHistory& history);
};
