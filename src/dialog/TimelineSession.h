#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "dialog/ITimelineView.h"
#include "dialog/TimelineFrame.h"
#include "dialog/TimelineLayout.h"

class PointHistory;

// "点位时间线...": the 64 points over time, drawn from a PointHistory. The latest moment
// sits at the right edge and moves while the device is connected; the wheel zooms around
// the mouse, a drag pans (back to the right edge: following again); hovering reports a
// point, its level and the time to the millisecond; a click on an edge reports the time
// since the previous edge of any other point and of the same point; "导出..." writes the
// history as VCD or CSV.
class TimelineSession {
public:
    static constexpr int64_t kDefaultSpanUs = 60000000; // 1 min
    static constexpr int64_t kMinSpanUs = 10000;        // 10 ms
    static constexpr int64_t kMaxSpanUs = 86400000000;  // 1 day
    static constexpr int32_t kEdgeReachPx = 4;          // how far from an edge a click hits it
    static constexpr int32_t kClickSlopPx = 3;          // a press that moves more is a drag

    // history and view must outlive this object. liveNowUs: the time now on the history's
    // clock while the device is connected, nothing while it is not.
    TimelineSession(const PointHistory& history, ITimelineView& view,
                    std::function<std::optional<int64_t>()> liveNowUs);

    // The canvas's size in pixels.
    void OnResize(int32_t width, int32_t height);
    // A tick of the window's timer (a few per second): while following a connected device,
    // the right edge moves to now.
    void OnTick();
    // Wheel turned by notches (positive: zoom in) with the mouse at column x.
    void OnWheel(int32_t x, double notches);
    void OnPress(int32_t x, int32_t y);
    // The mouse moved; pressed: with the button down since OnPress (a drag).
    void OnMove(int32_t x, int32_t y, bool pressed);
    // The button came up: a press that did not move is a click.
    void OnRelease(int32_t x, int32_t y);
    void OnLeave();
    // "回到最新": follow the latest moment again, at the current zoom.
    void Follow();
    // "导出...": asks for a file and writes the history (.csv: CSV, otherwise VCD).
    void Export();

    // What to paint now.
    TimelineFrame Frame() const;
    const TimelineLayout& Layout() const { return m_layout; }
    bool Following() const { return m_following; }

    // The texts a hover and a click report; "" when nothing is there.
    std::string HoverText(int32_t x, int32_t y) const;
    std::string EdgeText(int32_t x, int32_t y) const;

private:
    // The latest moment the history knows: now while connected, else its newest change.
    int64_t EndUs() const;
    void SetSpan(int64_t startUs, int64_t spanUs);

    const PointHistory& m_history;
    ITimelineView& m_view;
    std::function<std::optional<int64_t>()> m_liveNowUs;
    TimelineLayout m_layout;
    bool m_following = true;
    bool m_pressed = false;
    int32_t m_pressX = 0;
    int64_t m_pressStartUs = 0;
    bool m_dragged = false;
};
