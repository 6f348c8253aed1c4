// The main window without a device: its start-up state, layout, keys, selectors and the
// address combo.
// Nothing here connects to anything.

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "MainDlgTestSupport.h"
#include "ui/CAboutDlg.h"
#include "ui/MainDlgTemplate.h"

using namespace testing_ui;

class CMainDlgTest : public QObject {
    Q_OBJECT

private slots:
    void defaultsAfterStartUp() {
        CMainDlg dlg;
        DeliverPosted();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Vornak V1.00"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_ADDRESS_COMBO)->count(), 256);
        const std::pair<int32_t, const char*> texts[] = {
            {IDC_ADDRESS_COMBO, "1"},      {IDC_BAUD_COMBO, "9600"},
            {IDC_DATABITS_COMBO, "8"},     {IDC_STOPBITS_COMBO, "1"},
            {IDC_PARITY_COMBO, "无校验"},  {IDC_TCP_SERVER, "192.168.1.110"},
            {IDC_TCP_PORT, "6000"},        {IDC_UDP_LOCAL_IP, "0.0.0.0"},
            {IDC_UDP_LOCAL_PORT, "0"},     {IDC_UDP_REMOTE_IP, "192.168.1.110"},
            {IDC_UDP_REMOTE_PORT, "6000"}, {IDC_POLL_INTERVAL, "1000"},
            {IDC_SERIAL_STATUS, "未打开"}, {IDC_TCP_STATUS, "未连接"},
            {IDC_UDP_STATUS, "未连接"}};
        for (const auto& [id, text] : texts) {
            const auto* combo = Item<QComboBox>(dlg, id);
            QCOMPARE(combo ? combo->currentText() : dlg.GetDlgItem(id)->property("text").toString(),
                     QString::fromUtf8(text));
        }
        QCOMPARE(Flags(dlg, {IDC_PROTO_RTU, IDC_PROTO_55, IDC_PROTO_TCP, IDC_USE_SERIAL,
                             IDC_USE_TCP, IDC_USE_UDP, IDC_POLL_ENABLE}),
                 "1001001");
        // Only the serial pane and the poll controls are usable.
        QCOMPARE(Flags(dlg,
                       {IDC_GROUP_SERIAL, IDC_PORT_COMBO, IDC_SERIAL_OPEN, IDC_REFRESH_PORTS,
                        IDC_POLL_INTERVAL, IDC_POLL_ENABLE, IDC_GROUP_TCP, IDC_TCP_SERVER,
                        IDC_TCP_CONNECT, IDC_TCP_DISCONNECT, IDC_GROUP_UDP, IDC_UDP_REMOTE_IP,
                        IDC_UDP_CONNECT},
                       true),
                 "1111110000000");
        QVERIFY(SendLines(dlg).isEmpty() && AllGrey(dlg));
        // Clicks before any connect send nothing and say why.
        Click(dlg, IDC_COIL_BASE + 3);
        Click(dlg, IDC_INPUT_BASE + 7);
        DeliverPosted();
        QCOMPARE(SendLines(dlg), QStringList({"错误: 设备未连接", "错误: 设备未连接"}));
        QVERIFY(RecvLines(dlg).isEmpty() && AllGrey(dlg));
        QVERIFY(!dlg.IsTimerRunning(TIMER_POLL) && !dlg.IsTimerRunning(TIMER_HEARTBEAT));
        QCOMPARE(dlg.GetDevice().GetConfig().protocolType, ProtocolType::ModbusRtu);
        QCOMPARE(dlg.GetDevice().GetConfig().commType, CommType::Serial);
        QCOMPARE(dlg.GetDevice().GetState(), DeviceState::Disconnected);
    }

    void selectorsExcludeEachOther() {
        CMainDlg dlg;
        auto protocol = [&] { return dlg.GetDevice().GetConfig().protocolType; };
        Click(dlg, IDC_PROTO_55);
        QCOMPARE(Flags(dlg, {IDC_PROTO_RTU, IDC_PROTO_55, IDC_PROTO_TCP}), "010");
        QCOMPARE(protocol(), ProtocolType::Protocol55);
        for (int i = 0; i < 32; ++i)
            QVERIFY(!Input(dlg, i)->isEnabled() && Coil(dlg, i)->isEnabled());
        QCOMPARE(Input(dlg, 0)->CurrentBkColor(), QColor(220, 220, 220));
        Click(dlg, IDC_PROTO_TCP);
        QCOMPARE(Flags(dlg, {IDC_PROTO_RTU, IDC_PROTO_55, IDC_PROTO_TCP}), "001");
        QCOMPARE(protocol(), ProtocolType::ModbusTcp);
        QVERIFY(Input(dlg, 31)->isEnabled());
        // Unticking the ticked box leaves none ticked and the protocol as it was.
        Click(dlg, IDC_PROTO_TCP);
        QCOMPARE(Flags(dlg, {IDC_PROTO_RTU, IDC_PROTO_55, IDC_PROTO_TCP}), "000");
        QCOMPARE(protocol(), ProtocolType::ModbusTcp);

        const auto panes = {IDC_SERIAL_OPEN, IDC_TCP_CONNECT, IDC_TCP_SERVER,
                            IDC_UDP_CONNECT, IDC_GROUP_UDP,   IDC_POLL_INTERVAL};
        Click(dlg, IDC_USE_TCP);
        QCOMPARE(Flags(dlg, {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}), "010");
        QCOMPARE(Flags(dlg, panes, true), "011001");
        Click(dlg, IDC_USE_UDP);
        QCOMPARE(Flags(dlg, {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}), "001");
        QCOMPARE(Flags(dlg, panes, true), "000111");
        // Unticking leaves every pane unusable and the device's transport as it was.
        Click(dlg, IDC_USE_UDP);
        QCOMPARE(Flags(dlg, {IDC_USE_SERIAL, IDC_USE_TCP, IDC_USE_UDP}), "000");
        QCOMPARE(Flags(dlg, panes, true), "000001");
        QCOMPARE(dlg.GetDevice().GetConfig().commType, CommType::Serial);
    }

    // Typed text applies at once, as a saturated decimal (full-width digits are none) cut to
    // its low 8 bits; a choice from the list too.
    void addressFollowsTypingAndChoice() {
        const QStringList typed = {
            "99999999999999999998", "-99999999999999999998", "300", "abc", "17x", "-1", "  +77",
            "\uFF11\uFF12"};
        const int address[] = {255, 0, 44, 0, 17, 255, 77, 0};
        CMainDlg dlg;
        auto* combo = Item<QComboBox>(dlg, IDC_ADDRESS_COMBO);
        for (int i = 0; i < typed.size(); ++i) {
            combo->lineEdit()->clear();
            QTest::sendKeyEvent(QTest::Press, combo->lineEdit(), Qt::Key_unknown, typed[i],
                                Qt::NoModifier);
            QVERIFY2(dlg.GetDevice().GetConfig().slaveAddress == address[i], qPrintable(typed[i]));
            QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        }
        QCOMPARE(combo->count(), 256); // typing adds no entries
        combo->setCurrentIndex(200);
        emit combo->activated(200);
        QCOMPARE(int(dlg.GetDevice().GetConfig().slaveAddress), 200);
    }
    // Fits a 1920 x 1080 screen, and every caption shows whole, also the longest status text.
    void layoutFitsAndShowsEveryCaption() {
        CMainDlg dlg;
        QVERIFY2(dlg.width() <= 1500 && dlg.height() <= 1040,
                 qPrintable(QStringLiteral("%1 x %2").arg(dlg.width()).arg(dlg.height())));
        for (const DlgItem& item : MainDlgTemplate::kItems) {
            QWidget* widget = dlg.GetDlgItem(item.id);
            if (widget == nullptr || QString::fromUtf8(item.caption).isEmpty())
                continue;
            const int needed = qobject_cast<QPushButton*>(widget)
                                   ? widget->fontMetrics().horizontalAdvance(item.caption) + 8
                               : qobject_cast<QGroupBox*>(widget) ? widget->minimumSizeHint().width()
                                                                  : widget->sizeHint().width();
            QVERIFY2(needed <= widget->width(), item.caption);
        }
        for (const QObject* child : dlg.children())
            if (const auto* label = qobject_cast<const QLabel*>(child))
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
        QWidget* status = dlg.GetDlgItem(IDC_UDP_STATUS);
        QVERIFY(status->fontMetrics().horizontalAdvance(QStringLiteral("连接中...")) <=
                status->width());
    }

    // Enter presses nothing; Esc and the close box disconnect and close.
    void enterDoesNothingEscCloses() {
        CMainDlg dlg;
        dlg.show();
        QSignalSpy finished(&dlg, &QDialog::finished);
        auto* connectButton = Item<QPushButton>(dlg, IDC_SERIAL_OPEN);
        connectButton->setFocus();
        QSignalSpy clicked(connectButton, &QPushButton::clicked);
        QTest::keyClick(connectButton, Qt::Key_Return);
        QVERIFY(dlg.isVisible() && clicked.isEmpty() && finished.isEmpty());
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
        DeliverPosted();
        QCOMPARE(RecvLines(dlg), QStringList{QStringLiteral("已断开连接")});
        dlg.show();
        QVERIFY(dlg.close());
        QCOMPARE(finished.count(), 2);
    }

    // F1 and the background's context menu open the about box.
    void aboutBoxFromF1AndContextMenu() {
        CMainDlg dlg;
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        int opened = 0;
        auto closeWhenShown = [&opened] {
            QTimer::singleShot(0, [&opened] {
                auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
                opened += about != nullptr;
                if (about)
                    about->close();
            });
        };
        closeWhenShown();
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(opened, 1);
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr && menu->actions().size() == 1);
            QCOMPARE(menu->actions().first()->text(), QStringLiteral("关于 Vornak(&A)..."));
            closeWhenShown();
            menu->actions().first()->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&dlg, &event);
        QCOMPARE(opened, 2);
    }
};

QTEST_MAIN(CMainDlgTest)
#include "CMainDlgTest.moc"
