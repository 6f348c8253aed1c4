// The main window against the board simulator over loopback TCP and UDP and its pty. The
// window's own addresses (192.168.1.110) are replaced with loopback before any connect.

#include <QTemporaryDir>
#include <QtTest>

#include "MainDlgTestSupport.h"
#include "support/SimProcess.h"

using namespace testing_ui;

namespace {

constexpr int kWaitMs = 10000; // generous: a slow machine must not fail these
const auto kSelectors = {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP};

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

// The simulator (inputs 0, 2, 5 and 7 on, every coil off) and a window set up to reach it.
struct Rig {
    QTemporaryDir dir;
    SimProcess sim{VORNAK_SIM_PATH};
    CMainDlg dlg;

    bool Start(const LinkCase& link, bool poll) {
        if (!sim.Start({"--tcp", "0", "--udp", "0", "--link", dir.filePath("tty").toStdString(),
                        "--inputs", "000000A5"}))
            return false;
        if (!Item<QCheckBox>(dlg, link.protocolBox)->isChecked())
            Click(dlg, link.protocolBox);
        if (Item<QCheckBox>(dlg, IDC_POLL_ENABLE)->isChecked() != poll)
            Click(dlg, IDC_POLL_ENABLE);
        for (int32_t id : {IDC_TCP_SERVER, IDC_UDP_LOCAL_IP, IDC_UDP_REMOTE_IP})
            Item<QLineEdit>(dlg, id)->setText("127.0.0.1");
        Item<QLineEdit>(dlg, IDC_TCP_PORT)->setText(QString::number(sim.TcpPort()));
        Item<QLineEdit>(dlg, IDC_UDP_REMOTE_PORT)->setText(QString::number(sim.UdpPort()));
        // The operator types the link, which no port scan lists.
        Item<QComboBox>(dlg, IDC_PORT_COMBO)->setEditText(sim.LinkPath().c_str());
        if (link.selector != IDC_USE_SERIAL)
            Click(dlg, link.selector);
        return true;
    }

    // Byte 1 (an RTU function code) of each request received since mark; the simulator
    // prints the requests before a command's reply, so a command makes the list complete.
    QList<int> Requests(size_t mark) {
        QList<int> codes;
        if (!sim.Command("stats"))
            return {-1};
        const std::vector<std::string> lines = sim.OutputLines();
        for (size_t i = mark; i < lines.size(); ++i) {
            const size_t rx = lines[i].find(" RX ");
            if (rx != std::string::npos)
                codes << QString::fromStdString(lines[i].substr(rx + 4)).split(' ')[1].toInt();
        }
        return codes;
    }
};

// What a button shows: "5 ON #32ff32" (green) when connected and on, "5 OFF #f00000" (red)
// when off.
QString Look(const CColorButton* button) {
    return button->text() + ' ' + button->CurrentBkColor().name();
}
} // namespace

class CMainDlgSimTest : public QObject {
    Q_OBJECT

private slots:
    void connectSwitchReadRollBackDisconnect_data() {
        QTest::addColumn<int>("row");
        for (int row = 0; row < 3; ++row)
            QTest::newRow(kLinks[row].name) << row;
    }
    void connectSwitchReadRollBackDisconnect() {
        QFETCH(int, row);
        const LinkCase& link = kLinks[row];
        Rig rig;
        CMainDlg& dlg = rig.dlg;
        QVERIFY2(rig.Start(link, false), rig.sim.ErrorOutput().c_str());

        size_t mark = rig.sim.OutputMark();
        Click(dlg, link.connect);
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg, link.status), "已连接", kWaitMs);
        // The states are read at once.
        QTRY_COMPARE_WITH_TIMEOUT(Look(Input(dlg, 7)), "7 ON #32ff32", kWaitMs);
        DeliverPosted();
        QCOMPARE(Look(Input(dlg, 6)), "6 OFF #f00000");
        QCOMPARE(Look(Coil(dlg, 5)), "5 OFF #f00000");
        QCOMPARE(rig.Requests(mark).size(), 2);
        QCOMPARE(Flags(dlg, kSelectors, true), "000");
        QVERIFY(dlg.IsTimerRunning(TIMER_HEARTBEAT));
        const QStringList sent = SendLines(dlg);
        QCOMPARE(sent.count("定时查询已停止"), 2); // poll unticked, then connected
        QCOMPARE(sent.count("连接成功，正在读取所有状态..."), 1);
        QCOMPARE(sent.filter("发送: ").size(), 2);
        QStringList received = RecvLines(dlg);
        QCOMPARE(received.mid(0, 2), QStringList({"正在连接...", "连接成功"}));
        QCOMPARE(received.filter("接收: ").size(), 2);

        // Coil 5: the exact frame reaches the board, and the button turns green.
        mark = rig.sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 5);
        QVERIFY(rig.sim.WaitForOutput(link.coilFrame, mark, kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(Look(Coil(dlg, 5)), "5 ON #32ff32", kWaitMs);
        QVERIFY(SendLines(dlg).contains("写线圈 5: OFF -> ON"));
        uint32_t coils = 0, inputs = 0;
        QVERIFY(rig.sim.ReadStates(coils, inputs));
        QCOMPARE(coils, 1u << 5);

        // Input 7: one read of one input.
        mark = rig.sim.OutputMark();
        Click(dlg, IDC_INPUT_BASE + 7);
        QVERIFY(rig.sim.WaitForOutput(link.inputFrame, mark, kWaitMs));
        QTRY_VERIFY(SendLines(dlg).contains("读取离散输入 7"));
        QCOMPARE(rig.Requests(mark).size(), 1);
        QCOMPARE(Look(Input(dlg, 7)), "7 ON #32ff32");

        // A write the board refuses: the rollback line after the failure line, and the old
        // look again.
        QVERIFY(rig.sim.Command("exception 4"));
        Click(dlg, IDC_COIL_BASE + 5);
        DeliverPosted();
        QVERIFY(rig.sim.Command("clear"));
        QCOMPARE(SendLines(dlg).filter("写线圈 5 失败: ").size(), 1);
        received = RecvLines(dlg);
        QCOMPARE(received.filter("操作失败 [0x05]: ").size(), 1);
        QVERIFY(received.indexOf("写线圈 5 失败，已回滚") >
                received.indexOf(QRegularExpression("^操作失败 \\[0x05\\]")));
        QCOMPARE(Look(Coil(dlg, 5)), "5 ON #32ff32");
        QCOMPARE(dlg.GetDevice().GetCachedCoil(5), 1);

        // Disconnect: not connected, caches cleared, selectors back, heartbeat stopped.
        Click(dlg, link.disconnect);
        DeliverPosted();
        QCOMPARE(StatusText(dlg, link.status), "未连接");
        QCOMPARE(dlg.GetDevice().GetCachedCoil(5) + dlg.GetDevice().GetCachedInput(7), 0);
        QVERIFY(AllGrey(dlg) && Flags(dlg, kSelectors, true) == "111" &&
                !dlg.IsTimerRunning(TIMER_HEARTBEAT));
        QCOMPARE(RecvLines(dlg).last(), "已断开连接");
    }

    // A silent board drops out; its next answer brings it back without a re-read. Once the
    // simulator has ended, a new connect is refused.
    void silentBoardDropsOutRecoversThenRefuses() {
        Rig rig;
        CMainDlg& dlg = rig.dlg;
        QVERIFY2(rig.Start(kLinks[0], false), rig.sim.ErrorOutput().c_str());
        // A shorter silence limit keeps the test short; the check still runs once a second.
        DeviceConfig config = dlg.GetDevice().GetConfig();
        config.heartbeatTimeout = 1200;
        dlg.GetDevice().SetConfig(config);
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_COMPARE_WITH_TIMEOUT(Look(Input(dlg, 0)), "0 ON #32ff32", kWaitMs);

        QVERIFY(rig.sim.Command("silent"));
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg, IDC_TCP_STATUS), "掉线", kWaitMs);
        DeliverPosted();
        QVERIFY(AllGrey(dlg) && Flags(dlg, kSelectors, true) == "000");
        QStringList sent = SendLines(dlg);
        const int offlineAt = sent.indexOf("⚠ 通信超时，设备已掉线（按钮已变灰，点击可重试）");
        QVERIFY(offlineAt >= 0);
        QCOMPARE(sent.indexOf("⚠ 心跳检测超时，设备已掉线"), offlineAt + 1);
        QVERIFY(RecvLines(dlg).contains("心跳超时，设备掉线"));

        // A click while offline is a retry; the answer brings the board back.
        QVERIFY(rig.sim.Command("resume"));
        const size_t mark = rig.sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 2);
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg, IDC_TCP_STATUS), "已连接", kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Look(Coil(dlg, 2)), "2 ON #32ff32", kWaitMs);
        DeliverPosted();
        sent = SendLines(dlg);
        QCOMPARE(sent.mid(offlineAt + 2, 2),
                 QStringList({"警告: 设备处于超时状态，操作可能失败", "写线圈 2: OFF -> ON"}));
        QCOMPARE(sent.count("✅ 设备已自动恢复连接"), 1);
        QCOMPARE(sent.count("连接成功，正在读取所有状态..."), 1);
        QCOMPARE(rig.Requests(mark).size(), 1); // the write only, no re-read
        QVERIFY(RecvLines(dlg).contains("收到数据，设备自动恢复连接"));
        QCOMPARE(Look(Input(dlg, 0)), "0 ON #32ff32");

        // Nothing listens any more: the error state, its reason, selectors usable again.
        rig.sim.Stop();
        Click(dlg, IDC_TCP_DISCONNECT);
        Click(dlg, IDC_TCP_CONNECT);
        DeliverPosted();
        QCOMPARE(StatusText(dlg, IDC_TCP_STATUS), "错误");
        QCOMPARE(SendLines(dlg).last(), "❌ 设备错误，请检查连接配置");
        QCOMPARE(RecvLines(dlg).last(2), QStringList({"正在连接...", "连接失败"}));
        QVERIFY(AllGrey(dlg) && Flags(dlg, kSelectors, true) == "111" &&
                !dlg.IsTimerRunning(TIMER_HEARTBEAT));
    }

    // The poll alternates coils and inputs at the clamped interval, and carries on where it
    // stopped after a reconnect; while disconnected its ticks count on without sending.
    void pollAlternatesAcrossReconnect() {
        Rig rig;
        CMainDlg& dlg = rig.dlg;
        Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->setText("50");
        QVERIFY2(rig.Start(kLinks[1], true), rig.sim.ErrorOutput().c_str());
        for (int round = 0; round < 2; ++round) {
            const size_t mark = rig.sim.OutputMark();
            const int32_t countAtConnect = dlg.PollCount();
            Click(dlg, IDC_UDP_CONNECT);
            QCOMPARE(dlg.TimerInterval(TIMER_POLL), 100);
            QCOMPARE(Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->text(), "100");
            QTRY_VERIFY_WITH_TIMEOUT(rig.Requests(mark).size() >= 6, kWaitMs);
            QCOMPARE(SendLines(dlg).count("定时查询已启动，间隔: 100 ms"), round + 1);
            const QList<int> codes = rig.Requests(mark);
            QCOMPARE(codes.mid(0, 2), QList<int>({1, 2})); // the reads right after connecting
            for (int i = 2; i < 6; ++i)
                QCOMPARE(codes[i], (countAtConnect + i) % 2 == 0 ? 1 : 2);
            // A board that answers every poll never drops out.
            QCOMPARE(StatusText(dlg, IDC_UDP_STATUS), "已连接");

            Click(dlg, IDC_UDP_DISCONNECT);
            DeliverPosted();
            const int lines = SendLines(dlg).size() + RecvLines(dlg).size();
            // Reconnects at an odd count, so that a count reset on connect shows.
            const int32_t next = dlg.PollCount() + 3;
            QTRY_VERIFY_WITH_TIMEOUT(dlg.PollCount() >= next && dlg.PollCount() % 2, kWaitMs);
            DeliverPosted();
            QCOMPARE(SendLines(dlg).size() + RecvLines(dlg).size(), lines);
        }
    }
};

QTEST_MAIN(CMainDlgSimTest)
#include "CMainDlgSimTest.moc"
