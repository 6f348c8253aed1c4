#include "dialog/TimelineSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "dialog/TimelineFrameBuilder.h"
#include "dialog/UserFolders.h"
#include "history/CsvWriter.h"
#include "history/VcdWriter.h"

namespace {

const char* LevelText(PointLevel level) {
    return level == PointLevel::High ? "ON" : level == PointLevel::Low ? "OFF" : "未知";
}

std::string Duration(int64_t us) {
    char text[48];
    if (us < 1000000)
        std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(us) / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(us) / 1000000.0);
    return text;
}

// Whether change i of the history is an edge (a known level after the opposite one); the
// level before it goes to *before.
bool IsEdge(const PointHistory& history, size_t i) {
    const PointChange& c = history.At(i);
    if (c.level == PointLevel::Unknown)
        return false;
    for (size_t j = i; j > 0; --j) {
        if (history.At(j - 1).point == c.point)
            return history.At(j - 1).level != PointLevel::Unknown;
    }
    return history.LevelBefore(c.point) != PointLevel::Unknown;
}

} // namespace

TimelineSession::TimelineSession(const PointHistory& history, ITimelineView& view,
                                 std::function<std::optional<int64_t>()> liveNowUs)
    : m_history(history), m_view(view), m_liveNowUs(std::move(liveNowUs)) {
    const int64_t end = EndUs();
    m_layout.startUs = end - kDefaultSpanUs;
    m_layout.endUs = end;
}

void TimelineSession::OnResize(int32_t width, int32_t height) {
    m_layout.width = width;
    m_layout.height = height;
    m_view.Redraw();
}

int64_t TimelineSession::EndUs() const {
    const std::optional<int64_t> now = m_liveNowUs ? m_liveNowUs() : std::nullopt;
    return std::max(now.value_or(0), m_history.NewestUs());
}

void TimelineSession::SetSpan(int64_t startUs, int64_t spanUs) {
    spanUs = std::clamp(spanUs, kMinSpanUs, kMaxSpanUs);
    if (m_following)
        startUs = EndUs() - spanUs;
    m_layout.startUs = startUs;
    m_layout.endUs = startUs + spanUs;
    m_view.Redraw();
}

void TimelineSession::OnTick() {
    if (m_following && m_liveNowUs && m_liveNowUs())
        SetSpan(0, m_layout.SpanUs());
}

void TimelineSession::OnWheel(int32_t x, double notches) {
    const int64_t span = m_layout.SpanUs();
    const auto zoomed = static_cast<int64_t>(std::llround(span * std::pow(0.8, notches)));
    const int64_t clamped = std::clamp(zoomed, kMinSpanUs, kMaxSpanUs);
    // The time under the mouse stays where it is (while following: the right edge).
    const int32_t column =
        std::clamp(x, m_layout.PlotLeft(), m_layout.PlotLeft() + m_layout.PlotWidth());
    const int64_t anchor = m_layout.TimeAt(column);
    const double share = static_cast<double>(column - m_layout.PlotLeft()) / m_layout.PlotWidth();
    SetSpan(anchor - static_cast<int64_t>(std::llround(share * static_cast<double>(clamped))),
            clamped);
}

void TimelineSession::OnPress(int32_t x, int32_t) {
    m_pressed = true;
    m_dragged = false;
    m_pressX = x;
    m_pressStartUs = m_layout.startUs;
}

void TimelineSession::OnMove(int32_t x, int32_t y, bool pressed) {
    if (pressed && m_pressed && (m_dragged || std::abs(x - m_pressX) > kClickSlopPx)) {
        m_dragged = true;
        const int64_t span = m_layout.SpanUs();
        const int64_t start =
            m_pressStartUs - static_cast<int64_t>(std::llround(static_cast<double>(x - m_pressX) *
                                                               span / m_layout.PlotWidth()));
        // Dragged up to the latest moment: following again.
        m_following = start + span >= EndUs();
        SetSpan(start, span);
    }
    m_view.ShowHover(HoverText(x, y));
}

void TimelineSession::OnRelease(int32_t x, int32_t y) {
    const bool click = m_pressed && !m_dragged;
    m_pressed = false;
    if (click) {
        const std::string text = EdgeText(x, y);
        if (!text.empty())
            m_view.ShowNote(text);
    }
}

void TimelineSession::OnLeave() {
    m_view.ShowHover("");
}

void TimelineSession::Follow() {
    m_following = true;
    SetSpan(0, m_layout.SpanUs());
}

TimelineFrame TimelineSession::Frame() const {
    TimelineFrame frame = TimelineFrameBuilder::Build(m_history, m_layout, EndUs());
    if (m_history.OriginWallUs() == 0) {
        frame.texts.push_back({m_layout.PlotLeft() + 8, 0, m_layout.width,
                               TimelineLayout::kAxisHeight, TimelineFrameBuilder::kAxisText,
                               "尚未连接：连接后开始记录"});
    } else if (m_history.Dropped() > 0) {
        frame.texts.push_back({std::max(m_layout.PlotLeft(), m_layout.width - 300), 0,
                               m_layout.width, TimelineLayout::kAxisHeight,
                               TimelineFrameBuilder::kAxisText,
                               "已丢弃最早的 " + std::to_string(m_history.Dropped()) + " 个变化"});
    }
    return frame;
}

std::string TimelineSession::HoverText(int32_t x, int32_t y) const {
    const int32_t point = m_layout.LaneAt(y);
    if (point < 0 || x < m_layout.PlotLeft() || m_history.OriginWallUs() == 0)
        return {};
    const int64_t t = m_layout.TimeAt(x);
    if (t > EndUs())
        return {};
    const PointLevel level = t < TimelineFrameBuilder::KnownFromUs(m_history)
                                 ? PointLevel::Unknown
                                 : m_history.LevelAt(point, t);
    return TimelineFrameBuilder::LaneName(point) + "  " + LevelText(level) + "  " +
           TimelineFrameBuilder::ClockText(m_history, t, true);
}

std::string TimelineSession::EdgeText(int32_t x, int32_t y) const {
    const int32_t point = m_layout.LaneAt(y);
    if (point < 0 || x < m_layout.PlotLeft())
        return {};
    // The edge of this point nearest to the click, within reach.
    const int64_t from = m_layout.TimeAt(x - kEdgeReachPx);
    const int64_t to = m_layout.TimeAt(x + kEdgeReachPx + 1);
    size_t edge = SIZE_MAX;
    int64_t best = INT64_MAX;
    const int64_t clicked = m_layout.TimeAt(x);
    for (size_t i = m_history.FirstAtOrAfter(from);
         i < m_history.Size() && m_history.At(i).timeUs < to; ++i) {
        if (m_history.At(i).point == point && IsEdge(m_history, i) &&
            std::llabs(m_history.At(i).timeUs - clicked) < best) {
            best = std::llabs(m_history.At(i).timeUs - clicked);
            edge = i;
        }
    }
    if (edge == SIZE_MAX)
        return {};
    const PointChange& c = m_history.At(edge);
    auto name = [](const PointChange& change) {
        return TimelineFrameBuilder::LaneName(change.point) +
               (change.level == PointLevel::High ? " ↑" : " ↓");
    };
    std::string text = name(c) + " " + TimelineFrameBuilder::ClockText(m_history, c.timeUs, true);
    // The previous edge of any other point (before this moment), and of this point.
    bool otherFound = false, ownFound = false;
    for (size_t i = edge; i > 0 && !(otherFound && ownFound); --i) {
        const PointChange& p = m_history.At(i - 1);
        if (p.point == c.point ? ownFound : (otherFound || p.timeUs >= c.timeUs))
            continue;
        if (!IsEdge(m_history, i - 1))
            continue;
        if (p.point == c.point) {
            ownFound = true;
            text += "，距本点上一边沿 " + Duration(c.timeUs - p.timeUs);
        } else {
            otherFound = true;
            text += "，距上一边沿 (" + name(p) + ") " + Duration(c.timeUs - p.timeUs);
        }
    }
    return text;
}

void TimelineSession::Export() {
    const std::tm now = UserFolders::LocalTime(std::time(nullptr));
    char name[64];
    std::snprintf(name, sizeof name, "vornak-points-%04d%02d%02d-%02d%02d%02d.vcd",
                  now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min,
                  now.tm_sec);
    const std::string path = m_view.AskExportFileName(name);
    if (path.empty())
        return;
    const bool csv = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".csv") == 0 ||
                                          path.compare(path.size() - 4, 4, ".CSV") == 0);
    std::unique_ptr<IChangeWriter> writer;
    if (csv)
        writer = std::make_unique<CsvWriter>();
    else
        writer = std::make_unique<VcdWriter>();
    if (ExportHistory(m_history, *writer, path, EndUs()))
        m_view.ShowNote("已导出 " + std::to_string(m_history.Size()) + " 个变化: " + path);
    else
        m_view.ShowNote("❌ 导出失败: " + path);
}
