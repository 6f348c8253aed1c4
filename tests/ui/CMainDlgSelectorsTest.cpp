// The selectors, the address combo, numeric fields and the poll switch, without a device.

#include <QtTest>

#include "MainDlgTestSupport.h"
#include "ui/DecimalText.h"

using namespace testing_ui;

class CMainDlgSelectorsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseApplicationStyle(); }

    void protocolSelectorsExcludeEachOther() {
        CMainDlg dlg;
        auto protocol = [&] { return dlg.GetDevice().GetConfig().protocolType; };

        Click(dlg, IDC_PROTO_55);
        QCOMPARE(protocol(), ProtocolType::Protocol55);
        QVERIFY(!Item<QCheckBox>(dlg, IDC_PROTO_RTU)->isChecked());
        QVERIFY(!Item<QCheckBox>(dlg, IDC_PROTO_TCP)->isChecked());
        for (int i = 0; i < 32; ++i) {
            QVERIFY(!Input(dlg, i)->isEnabled());
            QVERIFY(Coil(dlg, i)->isEnabled());
        }
        QCOMPARE(Input(dlg, 0)->CurrentBkColor(), QColor(220, 220, 220));

        Click(dlg, IDC_PROTO_TCP);
        QCOMPARE(protocol(), ProtocolType::ModbusTcp);
        QVERIFY(!Item<QCheckBox>(dlg, IDC_PROTO_55)->isChecked());
        QVERIFY(Input(dlg, 31)->isEnabled());

        // Clearing the ticked box leaves none ticked and the protocol unchanged; ticking it
        // again changes nothing else.
        Click(dlg, IDC_PROTO_TCP);
        for (int32_t id : {IDC_PROTO_RTU, IDC_PROTO_TCP, IDC_PROTO_55}) {
            QVERIFY(!Item<QCheckBox>(dlg, id)->isChecked());
        }
        QCOMPARE(protocol(), ProtocolType::ModbusTcp);
        Click(dlg, IDC_PROTO_TCP);
        QVERIFY(Item<QCheckBox>(dlg, IDC_PROTO_TCP)->isChecked());
        QCOMPARE(protocol(), ProtocolType::ModbusTcp);
    }

    void transportSelectorsChooseOnePane() {
        CMainDlg dlg;
        Click(dlg, IDC_USE_TCP);
        QVERIFY(!Item<QCheckBox>(dlg, IDC_USE_SERIAL)->isChecked());
        QVERIFY(!dlg.GetDlgItem(IDC_SERIAL_OPEN)->isEnabled());
        QVERIFY(dlg.GetDlgItem(IDC_TCP_CONNECT)->isEnabled());
        QVERIFY(dlg.GetDlgItem(IDC_TCP_SERVER)->isEnabled());
        QVERIFY(!dlg.GetDlgItem(IDC_UDP_CONNECT)->isEnabled());

        Click(dlg, IDC_USE_UDP);
        QVERIFY(!Item<QCheckBox>(dlg, IDC_USE_TCP)->isChecked());
        QVERIFY(dlg.GetDlgItem(IDC_UDP_CONNECT)->isEnabled());
        QVERIFY(!dlg.GetDlgItem(IDC_TCP_CONNECT)->isEnabled());

        // Unticking leaves every pane disabled; the poll controls stay usable, and the
        // transport the device would use is still the start-up one.
        Click(dlg, IDC_USE_UDP);
        for (int32_t id : {IDC_SERIAL_OPEN, IDC_TCP_CONNECT, IDC_UDP_CONNECT, IDC_GROUP_UDP}) {
            QVERIFY(!dlg.GetDlgItem(id)->isEnabled());
        }
        QVERIFY(dlg.GetDlgItem(IDC_POLL_INTERVAL)->isEnabled());
        QCOMPARE(dlg.GetDevice().GetConfig().commType, CommType::Serial);
    }

    void addressFollowsTypingAndChoice_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("address");
        QTest::newRow("plain") << "12" << 12;
        QTest::newRow("low 8 bits of 300") << "300" << 44;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("digits then letters") << "17x" << 17;
        QTest::newRow("negative") << "-1" << 255;
    }
    void addressFollowsTypingAndChoice() {
        QFETCH(QString, typed);
        QFETCH(int, address);
        CMainDlg dlg;
        auto* combo = Item<QComboBox>(dlg, IDC_ADDRESS_COMBO);
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), typed);
        QCOMPARE(int(dlg.GetDevice().GetConfig().slaveAddress), address);
        // Typing never adds list entries.
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(combo->count(), 256);

        // A choice from the list applies at once.
        combo->setCurrentIndex(200);
        emit combo->activated(200);
        QCOMPARE(int(dlg.GetDevice().GetConfig().slaveAddress), 200);
    }

    void decimalText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("digits") << "502" << 502;
        QTest::newRow("trailing letters") << "502abc" << 502;
        QTest::newRow("leading space and sign") << "  +77" << 77;
        QTest::newRow("negative") << "-40" << -40;
        QTest::newRow("letters first") << "x12" << 0;
        QTest::newRow("sign only") << "-" << 0;
        QTest::newRow("space inside") << "1 2" << 1;
        QTest::newRow("beyond int32") << "99999999999999999999" << 2147483647;
        QTest::newRow("below int32") << "-99999999999999999999" << int(-2147483647 - 1);
        QTest::newRow("full-width digits are not digits") << "１２" << 0;
    }
    void decimalText() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(DecimalTextToInt(text), value);
    }

    // The poll switch works while disconnected too; a too short interval is raised to
    // 100 ms and written back.
    void pollIntervalIsClamped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("shown");
        QTest::newRow("50") << "50" << 100 << "100";
        QTest::newRow("empty") << "" << 100 << "100";
        QTest::newRow("letters") << "abc" << 100 << "100";
        QTest::newRow("negative") << "-5" << 100 << "100";
        QTest::newRow("100") << "100" << 100 << "100";
        QTest::newRow("250") << "250" << 250 << "250";
    }
    void pollIntervalIsClamped() {
        QFETCH(QString, typed);
        QFETCH(int, interval);
        QFETCH(QString, shown);
        CMainDlg dlg;
        Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->setText(typed);
        Click(dlg, IDC_POLL_ENABLE); // clears it
        Click(dlg, IDC_POLL_ENABLE); // ticks it
        DeliverPosted();
        QCOMPARE(dlg.TimerInterval(TIMER_POLL), interval);
        QCOMPARE(Item<QLineEdit>(dlg, IDC_POLL_INTERVAL)->text(), shown);
        QCOMPARE(SendLines(dlg),
                 QStringList({QStringLiteral("定时查询已停止"),
                              QStringLiteral("定时查询已启动，间隔: %1 ms").arg(interval)}));
        // Reads while disconnected fail quietly: no line, no event.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.PollCount() >= 2, 5000);
        DeliverPosted();
        QCOMPARE(SendLines(dlg).size(), 2);
        QVERIFY(RecvLines(dlg).isEmpty());

        Click(dlg, IDC_POLL_ENABLE);
        QVERIFY(!dlg.IsTimerRunning(TIMER_POLL));
    }

    // Posted lines keep their order and land in the right pane; a device line passes the
    // queue twice, so it comes after a window line posted just behind it.
    void deviceLinesTakeTheSecondHop() {
        CMainDlg dlg;
        dlg.OnLog("正在连接...", false);
        dlg.OnLog("发送: 01 02 ", true);
        dlg.OnOperationResult(OperationResult{false, -5, "接收超时", ""}, 1);
        dlg.OnOperationResult(OperationResult{true, 0, "", "ok"}, 2);
        dlg.OnCoilChanged(32, 1);
        dlg.OnInputChanged(-1, 1);
        Click(dlg, IDC_COIL_BASE); // "错误: 设备未连接", posted after the device lines
        DeliverPosted();
        QCOMPARE(RecvLines(dlg), QStringList({QStringLiteral("操作失败 [0x01]: 接收超时"),
                                              QStringLiteral("正在连接...")}));
        QCOMPARE(SendLines(dlg),
                 QStringList({QStringLiteral("错误: 设备未连接"), QStringLiteral("发送: 01 02 ")}));
    }
};

QTEST_MAIN(CMainDlgSelectorsTest)
#include "CMainDlgSelectorsTest.moc"
