// The point timeline's rules, with a fake window: what is drawn where, what a hover and a
// click on an edge report, zoom, drag and following, and the export.
#include <gtest/gtest.h>

#include "dialog/ScratchFolder.h"
#include "dialog/TimelineFrameBuilder.h"
#include "dialog/TimelineSession.h"
#include "history/PointHistory.h"

namespace {

using Kind = TimelineShape::Kind;

struct FakeTimelineView : ITimelineView {
    int32_t redraws = 0;
    std::string hover, note, exportPath;
    void Redraw() override { ++redraws; }
    void ShowHover(const std::string& text) override { hover = text; }
    void ShowNote(const std::string& text) override { note = text; }
    std::string AskExportFileName(const std::string&) override { return exportPath; }
};

constexpr int64_t kMs = 1000;
constexpr int32_t kLeft = TimelineLayout::kLabelWidth;

class TimelineSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        // 22:13:00.000 UTC: local clocks differ by whole minutes, so seconds and ms show as is.
        history.SetOriginWallUs(1699999980000000);
        for (int32_t point = 0; point < kHistoryPoints; ++point)
            history.Record(100 * kMs, point, PointLevel::Low);
        history.Record(1000 * kMs, 3, PointLevel::High);
        history.Record(1038 * kMs, 32 + 3, PointLevel::High);
        history.Record(1050 * kMs, 32 + 3, PointLevel::Low); // a bounce
        history.Record(1060 * kMs, 32 + 3, PointLevel::High);
        history.MarkUnknown(2000 * kMs, 32, 32); // a failed read of the inputs
        for (int32_t point = 32; point < 64; ++point)
            history.Record(2500 * kMs, point, point == 32 + 3 ? PointLevel::High : PointLevel::Low);
        // 1000 px for 3 s: 3 ms a column; lanes 10 px high.
        session.OnResize(kLeft + 1000, TimelineLayout::kAxisHeight + 64 * 10 + 2);
        session.OnWheel(kLeft + 1000, std::log(60.0 / 3.0) / std::log(1 / 0.8));
    }
    static int32_t X(int64_t ms) { return kLeft + int32_t(ms / 3); }
    static int32_t Y(int32_t point) { return TimelineLayout::kAxisHeight + point * 10 + 5; }
    // Shapes of one kind in a lane's rows, as "x0-x1".
    std::vector<std::string> Shapes(const TimelineFrame& frame, Kind kind, int32_t point) {
        std::vector<std::string> found;
        for (const TimelineShape& s : frame.shapes) {
            if (s.kind == kind && s.y0 >= Y(point) - 5 && s.y1 < Y(point) + 5 && s.x0 >= kLeft)
                found.push_back(std::to_string(s.x0) + "-" + std::to_string(s.x1));
        }
        return found;
    }

    PointHistory history{1000};
    FakeTimelineView view;
    std::optional<int64_t> now = 3000 * kMs;
    TimelineSession session{history, view, [this] { return now; }};
};

TEST_F(TimelineSessionTest, HoverAndEdgeClicksReportPointLevelAndTimes) {
    const struct {
        int32_t x, point;
        std::string hover, click; // click "": no note
    } cases[] = {
        {X(1020), 3, "线圈03  ON  22:13:01.020", ""},
        {X(501), 3, "线圈03  OFF  22:13:00.501", ""},
        {X(51), 3, "线圈03  未知  22:13:00.051", ""},
        {X(2100), 32 + 3, "输入03  未知  22:13:02.100", ""},
        {X(2502), 32 + 3, "输入03  ON  22:13:02.502", ""}, // back from the gap: not an edge
        {X(1038) + 1, 32 + 3, "输入03  ON  22:13:01.041",
         "输入03 ↑ 22:13:01.038，距上一边沿 (线圈03 ↑) 38.0 ms"},
        {X(1059), 32 + 3, "输入03  OFF  22:13:01.059",
         "输入03 ↑ 22:13:01.060，距本点上一边沿 10.0 ms，距上一边沿 (线圈03 ↑) 60.0 ms"},
        {X(1002), 3, "线圈03  ON  22:13:01.002", "线圈03 ↑ 22:13:01.000"},
        {X(1500), 32 + 3, "输入03  ON  22:13:01.500", ""},
    };
    for (const auto& c : cases) {
        view.note.clear();
        session.OnMove(c.x, Y(c.point), false);
        EXPECT_EQ(view.hover, c.hover);
        session.OnPress(c.x, Y(c.point));
        session.OnMove(c.x + 2, Y(c.point), true); // within the slop: still a click
        session.OnRelease(c.x, Y(c.point));
        EXPECT_EQ(view.note, c.click) << c.hover;
    }
    session.OnMove(kLeft - 1, Y(3), false);
    EXPECT_EQ(view.hover, "");
    now = 2800 * kMs;
    session.OnMove(X(2900), Y(3), false); // later than now: not yet known
    EXPECT_EQ(view.hover, "");
}

TEST_F(TimelineSessionTest, LanesShowLevelsEdgesGapsAndBusyColumns) {
    // Eight changes within one column of coil 9.
    for (int32_t i = 0; i < 8; ++i)
        history.Record(2700 * kMs + i * 100, 9, i % 2 == 0 ? PointLevel::High : PointLevel::Low);
    const TimelineFrame frame = session.Frame();
    // Coil 3: unknown until the first read, low, an edge up at 1 s, high to the right end.
    EXPECT_EQ(Shapes(frame, Kind::Hatch, 3), std::vector<std::string>{"64-97"});
    EXPECT_EQ(Shapes(frame, Kind::Line, 3),
              (std::vector<std::string>{"97-396", "397-397", "397-1063"}));
    // Input 3: the gap of the failed read hatched, the bounce as three edges.
    EXPECT_EQ(Shapes(frame, Kind::Hatch, 32 + 3),
              (std::vector<std::string>{"64-97",
                                        std::to_string(X(2000)) + "-" + std::to_string(X(2500))}));
    EXPECT_EQ(Shapes(frame, Kind::Line, 32 + 3),
              (std::vector<std::string>{"97-409", "410-410", "410-413", "414-414", "414-416",
                                        "417-417", "417-729", "897-1063"}));
    EXPECT_EQ(Shapes(frame, Kind::Fill, 9), std::vector<std::string>{"964-965"});
    for (const TimelineShape& s : frame.shapes)
        EXPECT_LE(s.x1, kLeft + 1000);
    EXPECT_EQ(frame.texts[0].text, "22:13:00.000"); // the axis, ticks every 0.5 s here
    EXPECT_EQ(frame.texts[1].text, "22:13:00.500");
}

TEST_F(TimelineSessionTest, ZoomDragAndFollowing) {
    ASSERT_TRUE(session.Following());
    // Dragged to the right, it shows the past; the wheel zooms around the mouse.
    session.OnPress(X(1500), Y(0));
    session.OnMove(X(1500) + 100, Y(0), true);
    session.OnRelease(X(1500) + 100, Y(0));
    EXPECT_FALSE(session.Following());
    EXPECT_EQ(session.Layout().startUs, -300 * kMs);
    const int64_t under = session.Layout().TimeAt(X(1200));
    session.OnWheel(X(1200), 3);
    EXPECT_NEAR(double(session.Layout().TimeAt(X(1200))), double(under), 3 * kMs);
    EXPECT_NEAR(double(session.Layout().SpanUs()), 3000 * kMs * 0.512, kMs);
    // Ticks do not move a view that is not following; dragged to the right end, it follows.
    now = 3500 * kMs;
    session.OnTick();
    EXPECT_LT(session.Layout().endUs, 3000 * kMs);
    session.OnPress(X(2900), Y(0));
    session.OnMove(X(2900) - 3000, Y(0), true);
    EXPECT_TRUE(session.Following());
    EXPECT_EQ(session.Layout().endUs, 3500 * kMs);
    now = 3700 * kMs;
    const int32_t redraws = view.redraws;
    session.OnTick();
    EXPECT_EQ(session.Layout().endUs, 3700 * kMs);
    // Disconnected: the right edge stays at the newest change.
    now.reset();
    session.OnTick();
    EXPECT_EQ(view.redraws, redraws + 1);
    session.OnWheel(X(0), -50);
    EXPECT_EQ(session.Layout().SpanUs(), TimelineSession::kMaxSpanUs);
    EXPECT_EQ(session.Layout().endUs, 2500 * kMs);
}

TEST_F(TimelineSessionTest, ExportWritesTheChosenFormatAndTheDropShows) {
    ScratchFolder folder;
    view.exportPath = (folder.path / "t.csv").u8string();
    session.Export();
    EXPECT_EQ(view.note, "已导出 132 个变化: " + view.exportPath);
    EXPECT_EQ(ReadAll(folder.path / "t.csv").rfind("time,point,value\n0.000000,coil00,x\n", 0), 0u);
    view.exportPath = (folder.path / "t.vcd").u8string();
    session.Export();
    EXPECT_EQ(ReadAll(folder.path / "t.vcd").substr(0, 6), "$date ");
    view.exportPath = (folder.path / "no" / "t.vcd").u8string();
    session.Export();
    EXPECT_EQ(view.note, "❌ 导出失败: " + view.exportPath);

    for (int32_t i = 0; i < 1000; ++i)
        history.Record(2600 * kMs + i, 0, i % 2 == 0 ? PointLevel::High : PointLevel::Low);
    const TimelineFrame frame = session.Frame();
    EXPECT_EQ(frame.texts.back().text, "已丢弃最早的 132 个变化");
    EXPECT_EQ(Shapes(frame, Kind::Hatch, 5).front(),
              "64-" + std::to_string(X(history.DroppedThroughUs() / kMs)));
}

} // namespace
