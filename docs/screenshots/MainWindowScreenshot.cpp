// Saves a picture of the main window as an operator sees it: connected over loopback TCP
// to the board simulator, a few coils switched, the board silent for a moment and back
// (so the status lines with their symbols show). Run by scripts/screenshot.
//
//   vornak_screenshot OUTPUT.png [WIDTHxHEIGHT]
//
// The window is laid out for a screen whose available area is WIDTHxHEIGHT (1920x1040, a
// full HD screen with a task bar, by default), whatever the offscreen screen's size.

#include <QImage>
#include <QPixmap>
#include <QTest>

#include <cstdio>

#include "MainWindowTestSupport.h"
#include "support/SimProcess.h"
#include "ui/qt/App.h"

using namespace testing_ui;

namespace {

int Fail(const char* why) {
    std::fprintf(stderr, "vornak_screenshot: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    App app(argc, argv);
    QSize screen(1920, 1040);
    if (argc == 3) {
        const QStringList size = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        screen = size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize();
    }
    if ((argc != 2 && argc != 3) || screen.isEmpty())
        return Fail("usage: vornak_screenshot OUTPUT.png [WIDTHxHEIGHT]");

    SimProcess sim(VORNAK_SIM_PATH);
    if (!sim.Start({"--tcp", "0", "--quiet", "--inputs", "000000A5"})) {
        return Fail("the simulator did not start");
    }

    MainWindow dlg(nullptr, screen);
    dlg.show();
    // A short silence limit, so that the drop-out shows within a few seconds.
    DeviceConfig config = dlg.Dialog().Config();
    config.heartbeatTimeout = 1500;
    dlg.Dialog().SetConfig(config);
    AimTcp(dlg, sim.TcpPort());
    Click(dlg, IDC_TCP_CONNECT);
    auto caption = [&](int32_t id) { return Item<ColorButton>(dlg, id)->text(); };
    if (!QTest::qWaitFor([&] { return caption(IDC_INPUT_BASE) == QStringLiteral("0 ON"); },
                         10000)) {
        return Fail("the window did not connect");
    }
    for (int coil : {0, 3, 5, 12, 31}) {
        Click(dlg, IDC_COIL_BASE + coil);
        if (!QTest::qWaitFor(
                [&] { return caption(IDC_COIL_BASE + coil) == QStringLiteral("%1 ON").arg(coil); },
                10000)) {
            return Fail("a coil did not switch");
        }
    }
    Click(dlg, IDC_INPUT_BASE + 2);

    auto status = [&] { return Item<QLabel>(dlg, IDC_TCP_STATUS)->text(); };
    if (!sim.Command("silent") ||
        !QTest::qWaitFor([&] { return status() == QStringLiteral("掉线"); }, 10000)) {
        return Fail("the board did not drop out");
    }
    // The poll's next answered read brings it back.
    if (!sim.Command("resume") ||
        !QTest::qWaitFor([&] { return status() == QStringLiteral("已连接"); }, 10000)) {
        return Fail("the board did not come back");
    }
    QTest::qWait(300);
    // No text cursor or focus frame in the picture.
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();

    if (!dlg.grab().toImage().save(QString::fromLocal8Bit(argv[1]))) {
        return Fail("the picture could not be saved");
    }
    std::printf("saved %s (%dx%d)\n", argv[1], dlg.width(), dlg.height());
    return 0;
}
