// The Qt window wired to the board simulator over a serial line (a pty whose name the operator
// types): connect, the states read at once, a coil switched and an input read with the exact
// frames on the wire, disconnect. The face does the same for every link; the links themselves
// are tested below the layer.

#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>

#include "MainWindowTestSupport.h"
#include "support/SimProcess.h"

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
        QVERIFY(!dlg.GetDlgItem(IDC_USE_TCP)->isEnabled());

        size_t mark = sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 5);
        QVERIFY(sim.WaitForOutput("RX 01 05 00 05 FF 00 9C 3B", mark, kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(Look(dlg, IDC_COIL_BASE + 5), "5 ON #32ff32", kWaitMs);
        uint32_t coils = 0, inputs = 0;
        QVERIFY(sim.ReadStates(coils, inputs));
        QCOMPARE(coils, 1u << 5);
        mark = sim.OutputMark();
        Click(dlg, IDC_INPUT_BASE + 7);
        QVERIFY(sim.WaitForOutput("RX 01 02 00 07 00 01 08 0B", mark, kWaitMs));

        Click(dlg, IDC_SERIAL_CLOSE);
        QTRY_COMPARE_WITH_TIMEOUT(PaneLines(dlg, IDC_RECV_LOG).last(), "已断开连接", kWaitMs);
        QCOMPARE(Text(dlg, IDC_SERIAL_STATUS), "未连接");
        QCOMPARE(Look(dlg, IDC_COIL_BASE + 5), "5\n--- #f1f100");
        QVERIFY(dlg.GetDlgItem(IDC_USE_TCP)->isEnabled());
    }
};

QTEST_MAIN(MainWindowSimTest)
#include "MainWindowSimTest.moc"
