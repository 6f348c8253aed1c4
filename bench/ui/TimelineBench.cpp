// Measures one redraw of the point timeline: the layer's frame of 64 lanes (TimelineSession,
// what the faces paint) and the Qt face painting it into a 1600 x 900 image, over a history
// of 100 000 changes (and 1 000 000, the history's bound) spread over ten minutes with
// bounces, in three views: the whole history, one minute, one second. The baseline, measured
// in the same run, is the same redraw of 64 lanes without a single change. Runs offscreen
// unless a platform is chosen with QT_QPA_PLATFORM.
//
//   vornak_timeline_bench [--rounds N]
//
// Times are CPU time of the thread (the median of the rounds). Exits 1 when a redraw over
// 100 000 changes takes 16 ms or more.

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "dialog/TimelineSession.h"
#include "history/PointHistory.h"
#include "ui/qt/TimelineWindow.h"

namespace {

constexpr int kWidth = 1600, kHeight = 900;
constexpr double kGoalMs = 16.0;
constexpr int64_t kMinute = 60000000;

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct NoView : ITimelineView {
    void Redraw() override {}
    void ShowHover(const std::string&) override {}
    void ShowNote(const std::string&) override {}
    std::string AskExportFileName(const std::string&) override { return {}; }
};

// changes over ten minutes: every point starts known, then random points flip, a quarter of
// the flips as a bounce of five changes 2 ms apart.
void Fill(PointHistory& history, size_t changes) {
    std::mt19937 random(7);
    history.SetOriginWallUs(1700000000000000);
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        history.Record(1000, point, PointLevel::Low);
    const int64_t step = 10 * kMinute / static_cast<int64_t>(changes);
    int64_t t = 1000;
    while (history.Size() + history.Dropped() < changes) {
        t += step;
        const int32_t point = static_cast<int32_t>(random() % kHistoryPoints);
        const int flips = random() % 4 == 0 ? 5 : 1;
        for (int i = 0; i < flips; ++i) {
            const PointLevel now = history.Current(point);
            history.Record(t + i * 2000, point,
                           now == PointLevel::High ? PointLevel::Low : PointLevel::High);
        }
    }
}

struct Timing {
    double frameMs = 0, paintMs = 0;
    size_t shapes = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median redraw of a view showing the last spanUs of the history.
Timing Measure(const PointHistory& history, int64_t spanUs, int rounds) {
    NoView view;
    const int64_t end = history.NewestUs();
    TimelineSession session(history, view, [end] { return std::optional<int64_t>(end); });
    session.OnResize(kWidth, kHeight);
    const double notches =
        std::log(double(spanUs) / TimelineSession::kDefaultSpanUs) / std::log(0.8);
    session.OnWheel(kWidth, notches);
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> frames, paints;
    Timing timing;
    for (int round = 0; round < rounds; ++round) {
        const double start = ThreadCpuMs();
        const TimelineFrame frame = session.Frame();
        const double built = ThreadCpuMs();
        QPainter painter(&image);
        TimelineCanvas::Paint(painter, frame, image.size());
        painter.end();
        const double painted = ThreadCpuMs();
        frames.push_back(built - start);
        paints.push_back(painted - built);
        timing.shapes = frame.shapes.size();
    }
    timing.frameMs = Median(frames);
    timing.paintMs = Median(paints);
    return timing;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 15;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }

    PointHistory empty, hundredThousand, million;
    empty.SetOriginWallUs(1700000000000000);
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        empty.Record(1000, point, PointLevel::Low);
    empty.Record(10 * kMinute, 0, PointLevel::High);
    Fill(hundredThousand, 100000);
    Fill(million, 1000000);

    const Timing baseline = Measure(empty, 10 * kMinute, rounds);
    const double baseMs = baseline.frameMs + baseline.paintMs;
    std::printf("redraw of 64 lanes, %dx%d, median of %d (CPU ms of the thread)\n", kWidth, kHeight,
                rounds);
    std::printf("%-34s %8s %8s %8s %8s %9s\n", "history, view", "layer", "paint", "total", "shapes",
                "/baseline");
    std::printf("%-34s %8.2f %8.2f %8.2f %8zu %9.2f\n", "baseline: no changes, 10 min",
                baseline.frameMs, baseline.paintMs, baseMs, baseline.shapes, 1.0);
    bool met = true;
    const struct {
        const char* name;
        const PointHistory* history;
        int64_t span;
        bool goal;
    } cases[] = {
        {"100 000 changes, whole 10 min", &hundredThousand, 10 * kMinute, true},
        {"100 000 changes, last minute", &hundredThousand, kMinute, true},
        {"100 000 changes, last second", &hundredThousand, 1000000, true},
        {"1 000 000 changes, whole 10 min", &million, 10 * kMinute, false},
        {"1 000 000 changes, last second", &million, 1000000, false},
    };
    for (const auto& c : cases) {
        const Timing t = Measure(*c.history, c.span, rounds);
        const double total = t.frameMs + t.paintMs;
        std::printf("%-34s %8.2f %8.2f %8.2f %8zu %9.2f%s\n", c.name, t.frameMs, t.paintMs, total,
                    t.shapes, total / baseMs, c.goal && total >= kGoalMs ? "  OVER 16 ms" : "");
        met = met && (!c.goal || total < kGoalMs);
    }
    std::printf("goal: every redraw over 100 000 changes under %.0f ms: %s\n", kGoalMs,
                met ? "met" : "NOT met");
    return met ? 0 : 1;
}
