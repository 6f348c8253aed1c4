// The main window against the board simulator on loopback: connecting over TCP, UDP and
// the simulator's pty, switching coils, reading inputs, a refused write, a silent board,
// the poll. The window's own defaults (192.168.1.110) are replaced before every connect.

#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "MainDlgTestSupport.h"
#include "support/SimProcess.h"

using namespace testing_ui;

namespace {

enum class Link { Tcp, Udp, Pty };

// Generous bounds: a slow machine must not fail these.
constexpr int kWaitMs = 10000;

// The simulator with a window set up to reach it; nothing connected yet.
struct Rig {
    QTemporaryDir dir;
    SimProcess sim{VORNAK_SIM_PATH};
    CMainDlg dlg;

    // Inputs 0, 2, 5 and 7 on, every coil off.
    bool Start() {
        return sim.Start({"--tcp", "0", "--udp", "0", "--link", dir.filePath("tty").toStdString(),
                          "--inputs", "000000A5"});
    }

    void Prepare(Link link, int32_t protocolBox, bool poll) {
        if (!Item<QCheckBox>(dlg, protocolBox)->isChecked())
            Click(dlg, protocolBox);
        if (Item<QCheckBox>(dlg, IDC_POLL_ENABLE)->isChecked() != poll)
            Click(dlg, IDC_POLL_ENABLE);
        switch (link) {
        case Link::Tcp:
            Click(dlg, IDC_USE_TCP);
            Item<QLineEdit>(dlg, IDC_TCP_SERVER)->setText("127.0.0.1");
            Item<QLineEdit>(dlg, IDC_TCP_PORT)->setText(QString::number(sim.TcpPort()));
            break;
        case Link::Udp:
            Click(dlg, IDC_USE_UDP);
            Item<QLineEdit>(dlg, IDC_UDP_LOCAL_IP)->setText("127.0.0.1");
            Item<QLineEdit>(dlg, IDC_UDP_REMOTE_IP)->setText("127.0.0.1");
            Item<QLineEdit>(dlg, IDC_UDP_REMOTE_PORT)->setText(QString::number(sim.UdpPort()));
            break;
        case Link::Pty:
            // The operator types the link, which no port scan lists.
            Item<QComboBox>(dlg, IDC_PORT_COMBO)
                ->setEditText(QString::fromStdString(sim.LinkPath()));
            break;
        }
    }

    // The connect and disconnect buttons and the status label of each link's pane.
    struct Pane {
        int32_t connect, disconnect, status;
    };
    static Pane PaneOf(Link link) {
        switch (link) {
        case Link::Tcp:
            return {IDC_TCP_CONNECT, IDC_TCP_DISCONNECT, IDC_TCP_STATUS};
        case Link::Udp:
            return {IDC_UDP_CONNECT, IDC_UDP_DISCONNECT, IDC_UDP_STATUS};
        default:
            return {IDC_SERIAL_OPEN, IDC_SERIAL_CLOSE, IDC_SERIAL_STATUS};
        }
    }

    // Function codes of the requests the simulator received since mark (byte 1 of an RTU
    // frame). The simulator answers a command only after it has printed the requests it
    // received before it, so a command first makes the list complete.
    QList<int> RtuFunctions(size_t mark) {
        QList<int> codes;
        if (!sim.Command("stats"))
            return {-1};
        const std::vector<std::string> lines = sim.OutputLines();
        for (size_t i = mark; i < lines.size(); ++i) {
            const size_t rx = lines[i].find(" RX ");
            if (rx != std::string::npos) {
                codes
                    << QString::fromStdString(lines[i].substr(rx + 4)).split(' ').value(1).toInt();
            }
        }
        return codes;
    }
};

// The three looks of button i: connected and on, connected and off, not connected.
bool Shows(const CColorButton* button, int i, const char* suffix, QColor background) {
    return button->text() == QString::number(i) + QLatin1String(suffix) &&
           button->CurrentBkColor() == background;
}
bool IsOn(const CColorButton* b, int i) {
    return Shows(b, i, " ON", QColor(50, 255, 50));
}
bool IsOff(const CColorButton* b, int i) {
    return Shows(b, i, " OFF", QColor(240, 0, 0));
}
bool IsGrey(const CColorButton* b, int i) {
    return Shows(b, i, "\n---", QColor(241, 241, 0));
}

} // namespace

Q_DECLARE_METATYPE(Link)

class CMainDlgSimTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseApplicationStyle(); }

    void connectSwitchReadDisconnect_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<int>("protocolBox");
        QTest::addColumn<QString>("coilFrame");  // coil 5 on, as the simulator receives it
        QTest::addColumn<QString>("inputFrame"); // input 7, one point
        QTest::newRow("tcp, Modbus TCP")
            << Link::Tcp << IDC_PROTO_TCP << "00 00 00 06 01 05 00 05 FF 00"
            << "00 00 00 06 01 02 00 07 00 01";
        QTest::newRow("udp, Modbus RTU")
            << Link::Udp << IDC_PROTO_RTU << "RX 01 05 00 05 FF 00 9C 3B"
            << "RX 01 02 00 07 00 01 08 0B";
        QTest::newRow("pty, Modbus RTU")
            << Link::Pty << IDC_PROTO_RTU << "RX 01 05 00 05 FF 00 9C 3B"
            << "RX 01 02 00 07 00 01 08 0B";
    }
    void connectSwitchReadDisconnect() {
        QFETCH(Link, link);
        QFETCH(int, protocolBox);
        QFETCH(QString, coilFrame);
        QFETCH(QString, inputFrame);
        Rig rig;
        QVERIFY2(rig.Start(), rig.sim.ErrorOutput().c_str());
        CMainDlg& dlg = rig.dlg;
        rig.Prepare(link, protocolBox, false);

        const Rig::Pane pane = Rig::PaneOf(link);
        size_t mark = rig.sim.OutputMark();
        Click(dlg, pane.connect);
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg, pane.status), QStringLiteral("已连接"), kWaitMs);
        // The states are read at once: inputs 0, 2, 5, 7 on, the rest off.
        QTRY_VERIFY_WITH_TIMEOUT(IsOn(Input(dlg, 7), 7), kWaitMs);
        DeliverPosted();
        QVERIFY(IsOff(Input(dlg, 6), 6));
        QVERIFY(IsOff(Coil(dlg, 5), 5));
        QCOMPARE(rig.RtuFunctions(mark).size(), 2);
        for (int32_t id : {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}) {
            QVERIFY(!dlg.GetDlgItem(id)->isEnabled());
        }
        QVERIFY(dlg.IsTimerRunning(TIMER_HEARTBEAT));
        const QStringList sent = SendLines(dlg);
        // Once for unticking the poll, once for the connect.
        QCOMPARE(sent.count(QStringLiteral("定时查询已停止")), 2);
        QCOMPARE(sent.count(QStringLiteral("连接成功，正在读取所有状态...")), 1);
        QCOMPARE(CountPrefixed(sent, QStringLiteral("发送: ")), 2);
        const QStringList received = RecvLines(dlg);
        QCOMPARE(received.mid(0, 2),
                 QStringList({QStringLiteral("正在连接..."), QStringLiteral("连接成功")}));
        QCOMPARE(CountPrefixed(received, QStringLiteral("接收: ")), 2);

        // Coil 5: the exact frame reaches the board, and the button turns green.
        mark = rig.sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 5);
        QVERIFY(rig.sim.WaitForOutput(coilFrame.toStdString(), mark, kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(IsOn(Coil(dlg, 5), 5), kWaitMs);
        QVERIFY(SendLines(dlg).contains(QStringLiteral("写线圈 5: OFF -> ON")));
        uint32_t coils = 0, inputs = 0;
        QVERIFY(rig.sim.ReadStates(coils, inputs));
        QCOMPARE(coils, 1u << 5);

        // Input 7: one read of one input.
        mark = rig.sim.OutputMark();
        Click(dlg, IDC_INPUT_BASE + 7);
        QVERIFY(rig.sim.WaitForOutput(inputFrame.toStdString(), mark, kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(SendLines(dlg).contains(QStringLiteral("读取离散输入 7")),
                                 kWaitMs);
        QCOMPARE(rig.RtuFunctions(mark).size(), 1);
        QVERIFY(IsOn(Input(dlg, 7), 7));

        // Disconnect: not connected, caches cleared, selectors back, heartbeat stopped.
        Click(dlg, pane.disconnect);
        DeliverPosted();
        QCOMPARE(StatusText(dlg, pane.status), QStringLiteral("未连接"));
        QCOMPARE(dlg.GetDevice().GetCachedCoil(5), uint8_t(0));
        QCOMPARE(dlg.GetDevice().GetCachedInput(7), uint8_t(0));
        for (int i = 0; i < 32; ++i)
            QVERIFY(IsGrey(Coil(dlg, i), i) && IsGrey(Input(dlg, i), i));
        for (int32_t id : {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}) {
            QVERIFY(dlg.GetDlgItem(id)->isEnabled());
        }
        QVERIFY(!dlg.IsTimerRunning(TIMER_HEARTBEAT));
        QCOMPARE(RecvLines(dlg).last(), QStringLiteral("已断开连接"));
    }

    // Nothing listens on the port: error state, selectors usable again, the reason logged.
    void failedConnectShowsError() {
        // A bound socket that never listens: its loopback port refuses connections.
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(fd >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                           ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        CMainDlg dlg;
        Click(dlg, IDC_USE_TCP);
        Item<QLineEdit>(dlg, IDC_TCP_SERVER)->setText("127.0.0.1");
        Item<QLineEdit>(dlg, IDC_TCP_PORT)->setText(QString::number(ntohs(address.sin_port)));
        if (bound)
            Click(dlg, IDC_TCP_CONNECT);
        DeliverPosted();
        ::close(fd);
        QVERIFY(bound);
        QCOMPARE(StatusText(dlg, IDC_TCP_STATUS), QStringLiteral("错误"));
        QCOMPARE(SendLines(dlg).last(), QStringLiteral("❌ 设备错误，请检查连接配置"));
        QCOMPARE(RecvLines(dlg),
                 QStringList({QStringLiteral("正在连接..."), QStringLiteral("连接失败")}));
        QVERIFY(dlg.GetDlgItem(IDC_USE_SERIAL)->isEnabled());
        QVERIFY(!dlg.IsTimerRunning(TIMER_HEARTBEAT));
        QVERIFY(IsGrey(Coil(dlg, 0), 0));
    }

    // A write the board refuses: rollback lines in both panes and the old look again.
    void failingWriteRollsBack() {
        Rig rig;
        QVERIFY2(rig.Start(), rig.sim.ErrorOutput().c_str());
        CMainDlg& dlg = rig.dlg;
        rig.Prepare(Link::Tcp, IDC_PROTO_RTU, false);
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_VERIFY_WITH_TIMEOUT(IsOff(Coil(dlg, 5), 5), kWaitMs);

        QVERIFY(rig.sim.Command("exception 4"));
        Click(dlg, IDC_COIL_BASE + 5);
        DeliverPosted();
        QVERIFY(rig.sim.Command("clear"));
        const QStringList sent = SendLines(dlg);
        const QStringList received = RecvLines(dlg);
        QCOMPARE(CountPrefixed(sent, QStringLiteral("写线圈 5 失败: ")), 1);
        QVERIFY(received.contains(QStringLiteral("写线圈 5 失败，已回滚")));
        QCOMPARE(CountPrefixed(received, QStringLiteral("操作失败 [0x05]: ")), 1);
        // The failure line is posted straight to the pane, the device's rollback line
        // takes one more trip through the queue and lands after it.
        QVERIFY(received.indexOf(QRegularExpression("^操作失败 \\[0x05\\]")) <
                received.indexOf(QStringLiteral("写线圈 5 失败，已回滚")));
        QVERIFY(IsOff(Coil(dlg, 5), 5));
        QCOMPARE(dlg.GetDevice().GetCachedCoil(5), uint8_t(0));
    }

    // A silent board drops out; its next answer brings it back without a re-read.
    void silentBoardDropsOutAndRecovers() {
        Rig rig;
        QVERIFY2(rig.Start(), rig.sim.ErrorOutput().c_str());
        CMainDlg& dlg = rig.dlg;
        rig.Prepare(Link::Tcp, IDC_PROTO_TCP, false);
        // A shorter silence limit keeps the test short; the check still runs once a second.
        DeviceConfig config = dlg.GetDevice().GetConfig();
        config.heartbeatTimeout = 1200;
        dlg.GetDevice().SetConfig(config);
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_VERIFY_WITH_TIMEOUT(IsOn(Input(dlg, 0), 0), kWaitMs);

        QVERIFY(rig.sim.Command("silent"));
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg, IDC_TCP_STATUS), QStringLiteral("掉线"), kWaitMs);
        DeliverPosted();
        for (int i = 0; i < 32; ++i)
            QVERIFY(IsGrey(Coil(dlg, i), i) && IsGrey(Input(dlg, i), i));
        QStringList sent = SendLines(dlg);
        const int offlineAt =
            sent.indexOf(QStringLiteral("⚠ 通信超时，设备已掉线（按钮已变灰，点击可重试）"));
        QVERIFY(offlineAt >= 0);
        QCOMPARE(sent.indexOf(QStringLiteral("⚠ 心跳检测超时，设备已掉线")), offlineAt + 1);
        QVERIFY(RecvLines(dlg).contains(QStringLiteral("心跳超时，设备掉线")));
        QVERIFY(!dlg.GetDlgItem(IDC_USE_TCP)->isEnabled());

        // A click while offline is a retry; the answer brings the board back.
        QVERIFY(rig.sim.Command("resume"));
        const size_t mark = rig.sim.OutputMark();
        Click(dlg, IDC_COIL_BASE + 2);
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg, IDC_TCP_STATUS), QStringLiteral("已连接"),
                                  kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(IsOn(Coil(dlg, 2), 2), kWaitMs);
        DeliverPosted();
        sent = SendLines(dlg);
        QCOMPARE(sent.mid(offlineAt + 2, 2),
                 QStringList({QStringLiteral("警告: 设备处于超时状态，操作可能失败"),
                              QStringLiteral("写线圈 2: OFF -> ON")}));
        QCOMPARE(sent.count(QStringLiteral("✅ 设备已自动恢复连接")), 1);
        QCOMPARE(sent.count(QStringLiteral("连接成功，正在读取所有状态...")), 1);
        QCOMPARE(rig.RtuFunctions(mark).size(), 1); // the write only, no re-read
        QVERIFY(RecvLines(dlg).contains(QStringLiteral("收到数据，设备自动恢复连接")));
        QVERIFY(IsOn(Input(dlg, 0), 0));
    }

    // The poll alternates coils and inputs, at the clamped interval, and carries on
    // where it stopped after a reconnect.
    void pollAlternatesAcrossReconnect() {
        Rig rig;
        QVERIFY2(rig.Start(), rig.sim.ErrorOutput().c_str());
        CMainDlg& dlg = rig.dlg;
        Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->setText("50");
        rig.Prepare(Link::Tcp, IDC_PROTO_RTU, true);

        size_t mark = rig.sim.OutputMark();
        Click(dlg, IDC_TCP_CONNECT);
        QCOMPARE(dlg.TimerInterval(TIMER_POLL), 100);
        QCOMPARE(Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->text(), QStringLiteral("100"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.RtuFunctions(mark).size() >= 7, kWaitMs);
        QList<int> codes = rig.RtuFunctions(mark);
        QCOMPARE(codes.mid(0, 2), QList<int>({1, 2})); // the reads right after connecting
        for (int i = 2; i < 7; ++i)
            QCOMPARE(codes[i], i % 2 == 0 ? 1 : 2);

        Click(dlg, IDC_TCP_DISCONNECT);
        DeliverPosted();
        QVERIFY(dlg.IsTimerRunning(TIMER_POLL)); // the poll is not stopped by a disconnect
        // While disconnected the ticks go on counting without sending.
        const int32_t countAtDisconnect = dlg.PollCount();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.PollCount() >= countAtDisconnect + 3, kWaitMs);

        mark = rig.sim.OutputMark();
        const int32_t countAtConnect = dlg.PollCount();
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_VERIFY_WITH_TIMEOUT(rig.RtuFunctions(mark).size() >= 5, kWaitMs);
        codes = rig.RtuFunctions(mark);
        QCOMPARE(codes.mid(0, 2), QList<int>({1, 2}));
        for (int i = 2; i < 5; ++i) {
            QCOMPARE(codes[i], (countAtConnect + i - 2) % 2 == 0 ? 1 : 2);
        }
        // A board that answers every poll never drops out.
        QCOMPARE(StatusText(dlg, IDC_TCP_STATUS), QStringLiteral("已连接"));
    }
};

QTEST_MAIN(CMainDlgSimTest)
#include "CMainDlgSimTest.moc"
