// The main window as it comes up: its defaults, its layout and its keyboard behaviour.
// Nothing here connects to anything.

#include <QGroupBox>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

#include "MainDlgTestSupport.h"
#include "ui/CAboutDlg.h"
#include "ui/MainDlgTemplate.h"

using namespace testing_ui;

class CMainDlgStartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { UseApplicationStyle(); }

    void defaultsAfterStartUp() {
        CMainDlg dlg;
        DeliverPosted();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Vornak V1.00"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_ADDRESS_COMBO)->count(), 256);
        QCOMPARE(Item<QComboBox>(dlg, IDC_ADDRESS_COMBO)->currentText(), QStringLiteral("1"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_BAUD_COMBO)->currentText(), QStringLiteral("9600"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_DATABITS_COMBO)->currentText(), QStringLiteral("8"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_STOPBITS_COMBO)->currentText(), QStringLiteral("1"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_PARITY_COMBO)->currentText(), QStringLiteral("无校验"));

        const std::pair<int32_t, const char*> edits[] = {
            {IDC_TCP_SERVER, "192.168.1.110"},    {IDC_TCP_PORT, "6000"},
            {IDC_UDP_LOCAL_IP, "0.0.0.0"},        {IDC_UDP_LOCAL_PORT, "0"},
            {IDC_UDP_REMOTE_IP, "192.168.1.110"}, {IDC_UDP_REMOTE_PORT, "6000"},
            {IDC_POLL_INTERVAL, "1000"}};
        for (const auto& [id, text] : edits) {
            QCOMPARE(Item<QLineEdit>(dlg, id)->text(), QString::fromUtf8(text));
        }

        for (int32_t id : {IDC_PROTO_RTU, IDC_USE_SERIAL, IDC_POLL_ENABLE}) {
            QVERIFY2(Item<QCheckBox>(dlg, id)->isChecked(), qPrintable(QString::number(id)));
        }
        for (int32_t id : {IDC_PROTO_55, IDC_PROTO_TCP, IDC_USE_TCP, IDC_USE_UDP}) {
            QVERIFY2(!Item<QCheckBox>(dlg, id)->isChecked(), qPrintable(QString::number(id)));
        }

        // Only the serial pane and the poll controls are usable.
        for (int32_t id : {IDC_GROUP_SERIAL, IDC_PORT_COMBO, IDC_SERIAL_OPEN, IDC_REFRESH_PORTS,
                           IDC_POLL_INTERVAL, IDC_POLL_ENABLE}) {
            QVERIFY2(dlg.GetDlgItem(id)->isEnabled(), qPrintable(QString::number(id)));
        }
        for (int32_t id : {IDC_GROUP_TCP, IDC_TCP_SERVER, IDC_TCP_CONNECT, IDC_TCP_DISCONNECT,
                           IDC_GROUP_UDP, IDC_UDP_REMOTE_IP, IDC_UDP_CONNECT}) {
            QVERIFY2(!dlg.GetDlgItem(id)->isEnabled(), qPrintable(QString::number(id)));
        }

        QCOMPARE(StatusText(dlg, IDC_SERIAL_STATUS), QStringLiteral("未打开"));
        QCOMPARE(StatusText(dlg, IDC_TCP_STATUS), QStringLiteral("未连接"));
        QCOMPARE(StatusText(dlg, IDC_UDP_STATUS), QStringLiteral("未连接"));

        for (int i = 0; i < 32; ++i) {
            for (CColorButton* button : {Coil(dlg, i), Input(dlg, i)}) {
                QCOMPARE(button->text(), QStringLiteral("%1\n---").arg(i));
                QCOMPARE(button->CurrentBkColor(), QColor(241, 241, 0));
                QCOMPARE(button->CurrentTextColor(), QColor(128, 128, 128));
                QVERIFY(button->isEnabled());
            }
        }
        QVERIFY(SendLines(dlg).isEmpty());
        QVERIFY(RecvLines(dlg).isEmpty());
        QVERIFY(!dlg.IsTimerRunning(TIMER_POLL));
        QVERIFY(!dlg.IsTimerRunning(TIMER_HEARTBEAT));

        // The device ends up on Modbus RTU with the start-up record, not yet connected.
        const DeviceConfig config = dlg.GetDevice().GetConfig();
        QCOMPARE(config.protocolType, ProtocolType::ModbusRtu);
        QCOMPARE(config.commType, CommType::Serial);
        QCOMPARE(config.tcp.serverIp, std::string("127.0.0.1"));
        QCOMPARE(config.tcp.port, 502u);
        QCOMPARE(config.udp.remotePort, 502u);
        QCOMPARE(config.heartbeatTimeout, 5000);
        QCOMPARE(dlg.GetDevice().GetState(), DeviceState::Disconnected);
    }

    // The window must fit a 1920 x 1080 screen and keep the template's proportions.
    void sizeFitsScreen() {
        CMainDlg dlg;
        QVERIFY2(dlg.width() >= 1400 && dlg.width() <= 1500,
                 qPrintable(QString::number(dlg.width())));
        QVERIFY2(dlg.height() >= 950 && dlg.height() <= 1040,
                 qPrintable(QString::number(dlg.height())));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    }

    // Every caption shows whole, also the longest status text and button caption.
    void noCaptionClipped() {
        CMainDlg dlg;
        for (const DlgItem& item : MainDlgTemplate::kItems) {
            if (item.id == IDC_STATIC || QString::fromUtf8(item.caption).isEmpty())
                continue;
            QWidget* widget = dlg.GetDlgItem(item.id);
            const int needed = qobject_cast<QGroupBox*>(widget) != nullptr
                                   ? widget->minimumSizeHint().width()
                                   : widget->sizeHint().width();
            if (qobject_cast<QPushButton*>(widget) != nullptr) {
                // A push button's size hint has a minimum width of its own; the text must fit.
                QVERIFY2(widget->fontMetrics().horizontalAdvance(item.caption) + 8 <=
                             widget->width(),
                         item.caption);
            } else {
                QVERIFY2(needed <= widget->width(), item.caption);
            }
        }
        for (const QObject* child : dlg.children()) {
            const auto* label = qobject_cast<const QLabel*>(child);
            if (label == nullptr)
                continue;
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            QVERIFY2(label->sizeHint().height() <= label->height(), qPrintable(label->text()));
        }
        for (int32_t id : {IDC_SERIAL_STATUS, IDC_TCP_STATUS, IDC_UDP_STATUS}) {
            QWidget* label = dlg.GetDlgItem(id);
            QVERIFY(label->fontMetrics().horizontalAdvance(QStringLiteral("连接中...")) <=
                    label->width());
        }
        QVERIFY(Coil(dlg, 31)->fontMetrics().horizontalAdvance(QStringLiteral("31 OFF")) + 4 <=
                Coil(dlg, 31)->width());
    }

    // Apart from the frames around them, no two controls share a pixel that shows
    // something: a label counts as large as its text, a check box as wide as its caption,
    // other controls whole.
    // The 64 buttons lie inside their frames on grids of one cell size taken from the
    // inputs' frame.
    void controlsDoNotOverlap() {
        CMainDlg dlg;
        QList<std::pair<QRect, QString>> shown;
        for (QObject* child : dlg.children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (widget == nullptr || widget->isWindow() || qobject_cast<QGroupBox*>(widget)) {
                continue;
            }
            QRect rect = widget->geometry();
            if (qobject_cast<QLabel*>(widget)) {
                rect.setSize(widget->sizeHint()); // drawn from the top left
            } else if (qobject_cast<QCheckBox*>(widget)) {
                rect.setWidth(widget->sizeHint().width());
            }
            shown.append({rect, widget->objectName() + widget->property("text").toString()});
        }
        QVERIFY(shown.size() >= 50 + 64);
        for (int a = 0; a < shown.size(); ++a) {
            for (int b = a + 1; b < shown.size(); ++b) {
                QVERIFY2(!shown[a].first.intersects(shown[b].first),
                         qPrintable(shown[a].second + " / " + shown[b].second));
            }
        }

        const QRect inputFrame = dlg.GetDlgItem(IDC_GROUP_INPUTS)->geometry();
        const QRect coilFrame = dlg.GetDlgItem(IDC_GROUP_COILS)->geometry();
        const QRect inner = inputFrame.adjusted(10, 30, -10, -10);
        const QSize cell((inner.width() - 14) / 8, (inner.height() - 6) / 4);
        for (int i = 0; i < 32; ++i) {
            QCOMPARE(Input(dlg, i)->size(), cell);
            QCOMPARE(Coil(dlg, i)->size(), cell);
            QVERIFY(inputFrame.contains(Input(dlg, i)->geometry()));
            QVERIFY(coilFrame.contains(Coil(dlg, i)->geometry()));
        }
        // Index 0 top left, numbered row by row.
        QVERIFY(Coil(dlg, 1)->x() > Coil(dlg, 0)->x());
        QCOMPARE(Coil(dlg, 8)->x(), Coil(dlg, 0)->x());
        QVERIFY(Coil(dlg, 8)->y() > Coil(dlg, 0)->y());
    }

    // Tab visits the template's tab stops in template order, and nothing else.
    void tabOrderIsTemplateOrder() {
        CMainDlg dlg;
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        // Tab skips disabled controls; with every pane usable it must visit them all.
        QStringList expected;
        for (const DlgItem& item : MainDlgTemplate::kItems) {
            if (!item.tabStop)
                continue;
            expected << QString::number(item.id);
            dlg.GetDlgItem(item.id)->setEnabled(true);
        }
        dlg.GetDlgItem(expected.first().toInt())->setFocus();
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size() + 1; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        expected << expected.first(); // and round again
        QCOMPARE(visited, expected);
    }

    // Enter closes nothing and presses nothing; Esc and the close box disconnect and close.
    void enterDoesNothingEscCloses() {
        CMainDlg dlg;
        dlg.show();
        QSignalSpy finished(&dlg, &QDialog::finished);
        auto* connectButton = Item<QPushButton>(dlg, IDC_SERIAL_OPEN);
        connectButton->setFocus();
        QSignalSpy clicked(connectButton, &QPushButton::clicked);
        QTest::keyClick(&dlg, Qt::Key_Return);
        QTest::keyClick(connectButton, Qt::Key_Enter);
        QVERIFY(dlg.isVisible());
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(finished.count(), 0);

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!dlg.isVisible());
        DeliverPosted();
        QCOMPARE(RecvLines(dlg), QStringList{QStringLiteral("已断开连接")});

        // The close box takes the same way out.
        dlg.show();
        QVERIFY(dlg.close());
        QCOMPARE(finished.count(), 2);
        DeliverPosted();
        QCOMPARE(RecvLines(dlg).size(), 2);
    }

    // Without a system menu to extend, F1 and the background's context menu open the
    // about box.
    void aboutBoxFromF1AndContextMenu() {
        CMainDlg dlg;
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));

        // Closes whichever modal dialog is up once it shows, remembering its kind.
        QStringList opened;
        auto closeWhenShown = [&opened] {
            QTimer::singleShot(0, [&opened] {
                QWidget* modal = QApplication::activeModalWidget();
                opened << (qobject_cast<CAboutDlg*>(modal) ? QStringLiteral("about") : QString());
                if (modal)
                    modal->close();
            });
        };

        closeWhenShown();
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(opened, QStringList{QStringLiteral("about")});

        // The menu offers one entry; choosing it opens the box.
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr && menu->actions().size() == 1);
            QCOMPARE(menu->actions().first()->text(), QStringLiteral("关于 Vornak(&A)..."));
            closeWhenShown();
            menu->actions().first()->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                dlg.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&dlg, &event);
        QCOMPARE(opened, QStringList({QStringLiteral("about"), QStringLiteral("about")}));
        QVERIFY(dlg.isVisible());
    }

    // Before any connect a click sends nothing and says why.
    void clickWhileDisconnected() {
        CMainDlg dlg;
        Click(dlg, IDC_COIL_BASE + 3);
        Click(dlg, IDC_INPUT_BASE + 7);
        DeliverPosted();
        QCOMPARE(SendLines(dlg), QStringList({QStringLiteral("错误: 设备未连接"),
                                              QStringLiteral("错误: 设备未连接")}));
        QVERIFY(RecvLines(dlg).isEmpty());
        QCOMPARE(Coil(dlg, 3)->text(), QStringLiteral("3\n---"));
    }
};

QTEST_MAIN(CMainDlgStartupTest)
#include "CMainDlgStartupTest.moc"
