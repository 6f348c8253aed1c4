// The point timeline on Qt against the board simulator, whose input 5 follows coil 5 and
// bounces: the canvas shows the bounce's edges, a hover names the point and a click on an
// edge measures it; the picture is saved (scripts/screenshot puts it in docs/).
//
//   vornak_timeline_screenshot OUTPUT.png

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include <cstdio>

#include "MainWindowTestSupport.h"
#include "support/SimProcess.h"
#include "ui/qt/App.h"
#include "ui/qt/TimelineWindow.h"

using namespace testing_ui;

namespace {

int Fail(const QByteArray& why) {
    std::fprintf(stderr, "vornak_timeline_screenshot: %s\n", why.constData());
    return 1;
}

constexpr int32_t kInput5 = 32 + 5;

// The mouse moves over a widget (offscreen, QTest::mouseMove does not reach it).
void MoveMouse(QWidget* widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

int main(int argc, char** argv) {
    App app(argc, argv);
    if (argc != 2)
        return Fail("usage: vornak_timeline_screenshot OUTPUT.png");
    SimProcess sim(VORNAK_SIM_PATH);
    if (!sim.Start({"--tcp", "0", "--quiet", "--inputs", "mirror", "--follow-ms", "120", "--bounce",
                    "20", "--bounce-ms", "250"})) {
        return Fail("the simulator did not start");
    }
    MainWindow dlg(nullptr, QSize(1920, 1040));
    dlg.show();
    Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->setText(QStringLiteral("100"));
    AimTcp(dlg, sim.TcpPort());
    Click(dlg, IDC_TCP_CONNECT);
    if (!QTest::qWaitFor([&] { return Text(dlg, IDC_TCP_STATUS) == QStringLiteral("已连接"); },
                         10000))
        return Fail("the window did not connect");
    QTest::qWait(500);
    Click(dlg, IDC_COIL_BASE + 5);
    QTest::qWait(2000);
    Click(dlg, IDC_COIL_BASE + 5);
    QTest::qWait(2000);

    dlg.Dialog().OnMenuCommand(IDM_TIMELINE);
    TimelineWindow* timeline = dlg.Timeline();
    if (timeline == nullptr || !QTest::qWaitForWindowExposed(timeline))
        return Fail("the timeline did not open");
    TimelineCanvas* canvas = timeline->Canvas();
    TimelineSession& session = timeline->Session();
    const TimelineLayout& layout = session.Layout();
    // The last 6 s fill the canvas.
    session.OnWheel(layout.width, std::log(60.0 / 6.0) / std::log(1 / 0.8));
    QTest::qWait(300);

    // The input's lane: two changes, each with its bounce, are ten edges.
    const int32_t top = layout.LaneTop(kInput5), bottom = top + layout.LaneHeight();
    std::vector<int32_t> edges;
    for (const TimelineShape& s : session.Frame().shapes) {
        if (s.kind == TimelineShape::Kind::Line && s.x0 == s.x1 && s.y0 >= top && s.y1 < bottom)
            edges.push_back(s.x0);
    }
    if (edges.size() != 10) {
        std::fprintf(stderr, "%zu edges\n", edges.size());
        return Fail("the bouncing input does not show its ten edges");
    }
    // The picture shows them: the input's colour from its high line down to its low line.
    timeline->activateWindow();
    const QImage picture = canvas->grab().toImage();
    const QColor trace(110, 220, 110);
    for (int32_t x : edges) {
        if (picture.pixelColor(x, top + 2) != trace || picture.pixelColor(x, bottom - 3) != trace ||
            picture.pixelColor(x, (top + bottom) / 2) != trace)
            return Fail("an edge is not painted");
    }
    const int32_t middle = (top + bottom) / 2;
    MoveMouse(canvas, QPoint(edges[0] - 20, middle));
    const auto* hover = timeline->findChild<QLabel*>(QStringLiteral("hover"));
    if (!hover->text().startsWith(QStringLiteral("输入05  OFF  ")))
        return Fail((hover->text() + QStringLiteral(": ")).toUtf8() +
                    "the hover does not name the point and its level");
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(edges[1], middle));
    const auto* note = timeline->findChild<QLabel*>(QStringLiteral("note"));
    if (!note->text().startsWith(QStringLiteral("输入05 ↓ ")) ||
        !note->text().contains(QStringLiteral("，距本点上一边沿 ")) ||
        !note->text().contains(QStringLiteral("，距上一边沿 (线圈05 ↑) ")))
        return Fail((note->text() + QStringLiteral(": ")).toUtf8() +
                    "a click on an edge does not measure it");
    MoveMouse(canvas, QPoint(edges[4] + 15, middle));
    QTest::qWait(100);

    if (!timeline->grab().toImage().save(QString::fromLocal8Bit(argv[1])))
        return Fail("the picture could not be saved");
    std::printf("saved %s; hover: %s; note: %s\n", argv[1], hover->text().toUtf8().constData(),
                note->text().toUtf8().constData());
    return 0;
}
