// The Qt window against the board simulator. A serial line (a pty whose name the operator
// types): connect, the states read at once, a coil switched and an input read with the exact
// frames on the wire, disconnect; the face does the same for every link, and the links
// themselves are tested below the layer. The self-test, with answers 60 ms after each
// request: the window keeps handling its events while the test runs and cancel is handled at
// once (what the test leaves behind is the layer's, tested there). Board search: the board at
// address 7 is listed as it answers, and choosing it fills the main window's fields.

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "MainWindowTestSupport.h"
#include "dialog/ToolDialogs.h"
#include "dialog/WindowTools.h"
#include "support/SimProcess.h"
#include "ui/qt/BoardSearchDialog.h"
#include "ui/qt/SelfTestDialog.h"

using namespace testing_ui;

namespace {

constexpr int kWaitMs = 10000; // generous: a slow machine must not fail these

} // namespace

class MainWindowSimTest : public QObject {
    Q_OBJECT

private slots:
    void connectSwitchReadDisconnect() {
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        // Inputs 0, 2, 5 and 7 on, every coil off.
        QVERIFY2(sim.Start({"--link", dir.filePath("tty").toStdString(), "--inputs", "000000A5"}),
                 sim.ErrorOutput().c_str());
        MainWindow dlg(nullptr, QSize(1920, 1040));
        if (!Item<QCheckBox>(dlg, IDC_PROTO_RTU)->isChecked())
            Click(dlg, IDC_PROTO_RTU);
        Click(dlg, IDC_POLL_ENABLE); // no poll: every request below is the test's
        // The operator types the link, which no port scan lists.
        Item<QComboBox>(dlg, IDC_PORT_COMBO)->setEditText(sim.LinkPath().c_str());

        Click(dlg, IDC_SERIAL_OPEN);
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_SERIAL_STATUS), "已连接", kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Look(dlg, IDC_INPUT_BASE + 7), "7 ON #32ff32", kWaitMs);
        QCOMPARE(Look(dlg, IDC_INPUT_BASE + 6), "6 OFF #f00000");

        size_t mark = sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 5);
        QVERIFY(sim.WaitForOutput("RX 01 05 00 05 FF 00 9C 3B", mark, kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(Look(dlg, IDC_COIL_BASE + 5), "5 ON #32ff32", kWaitMs);
        mark = sim.OutputMark();
        Click(dlg, IDC_INPUT_BASE + 7);
        QVERIFY(sim.WaitForOutput("RX 01 02 00 07 00 01 08 0B", mark, kWaitMs));

        Click(dlg, IDC_SERIAL_CLOSE);
        QTRY_COMPARE_WITH_TIMEOUT(PaneLines(dlg, IDC_RECV_LOG).last(), "已断开连接", kWaitMs);
    }

    void staysResponsiveAndCancels() {
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        QVERIFY2(sim.Start({"--tcp", "0", "--turnaround", "60", "--coils", "80000005"}),
                 sim.ErrorOutput().c_str());
        MainWindow dlg(nullptr, QSize(1920, 1040),
                       {dir.filePath(QStringLiteral("vornak.conf")).toStdString(), ""});
        Click(dlg, IDC_PROTO_TCP);
        AimTcp(dlg, sim.TcpPort());
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_TCP_STATUS), QStringLiteral("已连接"), 10000);

        std::vector<qint64> probes;
        qint64 cancelLatency = -1;
        QString verdict;
        QTimer::singleShot(0, this, [&] {
            auto* test = qobject_cast<SelfTestDialog*>(QApplication::activeModalWidget());
            QVERIFY(test != nullptr);
            auto* progress = test->findChild<QProgressBar*>();
            Button(test, "开始")->click();
            QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 4, 20000);
            // Events come from another thread at moments unrelated to the steps, as the
            // operator's clicks do; each records how long it waited for the window's thread.
            std::atomic<int> handled{0};
            std::thread operatorThread([&] {
                for (int i = 0; i < 8; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(23)); // spread, not sync
                    QElapsedTimer waited;
                    waited.start();
                    const bool last = i == 7;
                    QMetaObject::invokeMethod(
                        test,
                        [&, waited, last] {
                            (last ? cancelLatency : probes.emplace_back()) = waited.elapsed();
                            if (last)
                                Button(test, "取消")->click();
                            ++handled;
                        },
                        Qt::QueuedConnection);
                }
            });
            QTRY_VERIFY_WITH_TIMEOUT(handled == 8, 20000);
            operatorThread.join();
            auto* shown = test->Control<QLabel>(ToolDialogs::IDC_SELFTEST_VERDICT);
            QTRY_COMPARE_WITH_TIMEOUT(shown->text(), QStringLiteral("自检已取消"), 20000);
            verdict = shown->text();
            QVERIFY(test->Point(true, 0)->palette().color(QPalette::Window) == QColor(50, 255, 50));
            test->reject();
        });
        dlg.Dialog().OnMenuCommand(WindowTools::IDM_SELF_TEST);

        QCOMPARE(verdict, QStringLiteral("自检已取消"));
        std::sort(probes.begin(), probes.end());
        qInfo("event wait while testing: median %lld ms, max %lld ms; cancel handled after %lld ms",
              probes[3], probes.back(), cancelLatency);
        // An event waits for one transaction at most: the 60 ms turnaround and a little. The
        // bound on the single cancel leaves room for a loaded machine.
        QVERIFY2(probes[3] < 100 && cancelLatency >= 0 && cancelLatency < 250,
                 qPrintable(QString::number(cancelLatency)));
    }

    void searchListsTheBoardAndFillsTheFields() {
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        QVERIFY2(sim.Start({"--tcp", "0", "--address", "7"}), sim.ErrorOutput().c_str());
        MainWindow dlg(nullptr, QSize(1920, 1040),
                       {dir.filePath(QStringLiteral("vornak.conf")).toStdString(), ""});
        Click(dlg, IDC_PROTO_TCP);
        AimTcp(dlg, sim.TcpPort());
        QString status;
        QTimer::singleShot(0, this, [&] {
            auto* search = qobject_cast<BoardSearchDialog*>(QApplication::activeModalWidget());
            QVERIFY(search != nullptr);
            const auto boxes = search->findChildren<QCheckBox*>();
            boxes[0]->setChecked(false); // the window's protocol only
            auto* found = search->findChild<QListWidget*>();
            Button(search, "开始")->click();
            QTRY_COMPARE_WITH_TIMEOUT(found->count(), 1, 20000);
            QCOMPARE(found->item(0)->text(), QStringLiteral("地址 7  Modbus TCP"));
            Button(search, "取消")->click();
            auto* shown = search->Control<QLabel>(ToolDialogs::IDC_SEARCH_STATUS);
            QTRY_VERIFY_WITH_TIMEOUT(shown->text().startsWith(QStringLiteral("已取消")), 20000);
            status = shown->text();
            Button(search, "使用所选设备")->click();
            QVERIFY(!search->isVisible());
        });
        dlg.Dialog().OnMenuCommand(WindowTools::IDM_FIND_BOARD);
        QCOMPARE(status, QStringLiteral("已取消，找到 1 个设备"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_ADDRESS_COMBO)->currentText(), QStringLiteral("7"));
    }
};

QTEST_MAIN(MainWindowSimTest)
#include "MainWindowSimTest.moc"
