// The Qt window wired to the board simulator, once per transport: connect, the states read at
// once, a coil switched and an input read with the exact frames on the wire, disconnect.

#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>

#include "MainWindowTestSupport.h"
#include "support/SimProcess.h"

using namespace testing_ui;

namespace {

constexpr int kWaitMs = 10000; // generous: a slow machine must not fail these

// Each link with a protocol: its selector, its pane's connect, disconnect and status, and the
// frames the simulator receives for switching coil 5 on and reading input 7.
struct LinkCase {
    const char* name;
    int32_t protocolBox, selector, connect, disconnect, status;
    const char *coilFrame, *inputFrame;
};
const LinkCase kLinks[] = {
    {"tcp, Modbus TCP", IDC_PROTO_TCP, IDC_USE_TCP, IDC_TCP_CONNECT, IDC_TCP_DISCONNECT,
     IDC_TCP_STATUS, "00 00 00 06 01 05 00 05 FF 00", "00 00 00 06 01 02 00 07 00 01"},
    {"udp, Modbus RTU", IDC_PROTO_RTU, IDC_USE_UDP, IDC_UDP_CONNECT, IDC_UDP_DISCONNECT,
     IDC_UDP_STATUS, "RX 01 05 00 05 FF 00 9C 3B", "RX 01 02 00 07 00 01 08 0B"},
    {"pty, Modbus RTU", IDC_PROTO_RTU, IDC_USE_SERIAL, IDC_SERIAL_OPEN, IDC_SERIAL_CLOSE,
     IDC_SERIAL_STATUS, "RX 01 05 00 05 FF 00 9C 3B", "RX 01 02 00 07 00 01 08 0B"}};

} // namespace

class MainWindowSimTest : public QObject {
    Q_OBJECT

private slots:
    void connectSwitchReadDisconnect_data() {
        QTest::addColumn<int>("row");
        for (int row = 0; row < 3; ++row)
            QTest::newRow(kLinks[row].name) << row;
    }
    void connectSwitchReadDisconnect() {
        QFETCH(int, row);
        const LinkCase& link = kLinks[row];
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        // Inputs 0, 2, 5 and 7 on, every coil off.
        QVERIFY2(sim.Start({"--tcp", "0", "--udp", "0", "--link", dir.filePath("tty").toStdString(),
                            "--inputs", "000000A5"}),
                 sim.ErrorOutput().c_str());
        MainWindow dlg(nullptr, QSize(1920, 1040));
        if (!Item<QCheckBox>(dlg, link.protocolBox)->isChecked())
            Click(dlg, link.protocolBox);
        Click(dlg, IDC_POLL_ENABLE); // no poll: every request below is the test's
        for (int32_t id : {IDC_TCP_SERVER, IDC_UDP_LOCAL_IP, IDC_UDP_REMOTE_IP})
            Item<QLineEdit>(dlg, id)->setText("127.0.0.1");
        Item<QLineEdit>(dlg, IDC_TCP_PORT)->setText(QString::number(sim.TcpPort()));
        Item<QLineEdit>(dlg, IDC_UDP_REMOTE_PORT)->setText(QString::number(sim.UdpPort()));
        // The operator types the link, which no port scan lists.
        Item<QComboBox>(dlg, IDC_PORT_COMBO)->setEditText(sim.LinkPath().c_str());
        if (link.selector != IDC_USE_SERIAL)
            Click(dlg, link.selector);

        Click(dlg, link.connect);
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, link.status), "已连接", kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Look(dlg, IDC_INPUT_BASE + 7), "7 ON #32ff32", kWaitMs);
        QCOMPARE(Look(dlg, IDC_INPUT_BASE + 6), "6 OFF #f00000");
        QVERIFY(!dlg.GetDlgItem(IDC_USE_SERIAL)->isEnabled());

        size_t mark = sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 5);
        QVERIFY(sim.WaitForOutput(link.coilFrame, mark, kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(Look(dlg, IDC_COIL_BASE + 5), "5 ON #32ff32", kWaitMs);
        uint32_t coils = 0, inputs = 0;
        QVERIFY(sim.ReadStates(coils, inputs));
        QCOMPARE(coils, 1u << 5);
        mark = sim.OutputMark();
        Click(dlg, IDC_INPUT_BASE + 7);
        QVERIFY(sim.WaitForOutput(link.inputFrame, mark, kWaitMs));

        Click(dlg, link.disconnect);
        QTRY_COMPARE_WITH_TIMEOUT(PaneLines(dlg, IDC_RECV_LOG).last(), "已断开连接", kWaitMs);
        QCOMPARE(Text(dlg, link.status), "未连接");
        QCOMPARE(Look(dlg, IDC_COIL_BASE + 5), "5\n--- #f1f100");
        QVERIFY(dlg.GetDlgItem(IDC_USE_SERIAL)->isEnabled());
    }
};

QTEST_MAIN(MainWindowSimTest)
#include "MainWindowSimTest.moc"
