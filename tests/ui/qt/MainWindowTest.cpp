// What only the Qt window shows: its layout on a large and a small screen (the statistics
// line's place too), how a coil or input button is painted, the keys, a double-click, the
// about box and the menu that opens it; settings remembered through QSettings from one
// window to the next, and the "通信参数..." form that stays open on a bad value.
// The window's behaviour is tested against MainDialog itself (tests/dialog).

#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QGroupBox>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "MainWindowTestSupport.h"
#include "dialog/MainDlgTemplate.h"
#include "dialog/ToolDialogs.h"
#include "dialog/WindowTools.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DescribedDialog.h"

using namespace testing_ui;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // The available areas of a 1920 x 1080 and a 1366 x 768 screen with a 40 px task bar.
    void layoutFitsAndShowsEveryCaption_data() {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1920x1080") << QSize(1920, 1040);
        QTest::newRow("1366x768") << QSize(1366, 728);
    }
    void layoutFitsAndShowsEveryCaption() {
        QFETCH(QSize, screen);
        MainWindow dlg(nullptr, screen);
        const QSize full(1440, 989);
        if (screen.height() > 1000)
            QCOMPARE(dlg.size(), full); // nothing changes on a large screen
        // Whole, with its title bar and frame.
        QVERIFY2(dlg.width() + 16 <= screen.width() && dlg.height() + 48 <= screen.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(dlg.width()).arg(dlg.height())));
        QVERIFY(dlg.font().pixelSize() >= 10);
        for (const DlgItem& item : MainDlgTemplate::kItems) {
            QWidget* widget = dlg.GetDlgItem(item.id);
            if (widget == nullptr || QString::fromUtf8(item.caption).isEmpty())
                continue;
            const int needed = qobject_cast<QPushButton*>(widget)
                                   ? widget->fontMetrics().horizontalAdvance(item.caption) + 8
                               : qobject_cast<QGroupBox*>(widget)
                                   ? widget->minimumSizeHint().width()
                                   : widget->sizeHint().width();
            QVERIFY2(needed <= widget->width(), item.caption);
        }
        for (const QObject* child : dlg.children())
            if (const auto* label = qobject_cast<const QLabel*>(child))
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
        QWidget* status = dlg.GetDlgItem(IDC_UDP_STATUS);
        QVERIFY(status->fontMetrics().horizontalAdvance(QStringLiteral("连接中...")) <=
                status->width());
        // The buttons fill their group boxes' grids.
        const QRect coil = dlg.GetDlgItem(IDC_COIL_BASE + 31)->geometry();
        QVERIFY(dlg.GetDlgItem(IDC_GROUP_COILS)->geometry().contains(coil));
        QCOMPARE(dlg.GetDlgItem(IDC_INPUT_BASE)->size(), coil.size());
        // The statistics line lies in the free strip below the log group box, covers no
        // control, and shows a busy link's line whole.
        auto* line = Item<QLabel>(dlg, IDC_LINK_STATS);
        QVERIFY(line != nullptr && dlg.rect().contains(line->geometry()));
        for (QWidget* other : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(other == line || !other->geometry().intersects(line->geometry()),
                     qPrintable(other->objectName()));
        const QString busy = QStringLiteral(
            "请求 123456  成功 120000  失败 3456 (无应答 3000, 校验错误 400, 设备异常 56)  "
            "往返 ms: 最小 3.1  平均 12.4  P95 45.2  最大 120.7");
        QVERIFY2(line->fontMetrics().horizontalAdvance(busy) <= line->width(), qPrintable(busy));
    }

    // A coil button when not connected: the layer's look stays under the mouse and while
    // pressed, in a grey border, with "5\n---" on one centred line in the grey text colour;
    // under 0x55 an input is disabled and grey.
    void ioButtonLooks() {
        MainWindow dlg(nullptr, QSize(1920, 1040));
        auto* coil = Item<ColorButton>(dlg, IDC_COIL_BASE + 5);
        QFont bold = coil->font();
        bold.setBold(true); // thick strokes, so some pixels carry the exact text colour
        coil->setFont(bold);
        QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
        QCoreApplication::sendEvent(coil, &enter);
        const QColor grey(128, 128, 128);
        for (bool down : {false, true}) {
            coil->setDown(down);
            const QImage image = coil->grab().toImage();
            QCOMPARE(image.pixelColor(0, image.height() / 2), grey);
            QCOMPARE(image.pixelColor(2, 2), QColor(241, 241, 0));
            QRect ink, text; // inside the border
            for (int y = 2; y < image.height() - 2; ++y)
                for (int x = 2; x < image.width() - 2; ++x) {
                    ink |= image.pixelColor(x, y) != image.pixelColor(2, 2) ? QRect(x, y, 1, 1)
                                                                            : QRect();
                    text |= image.pixelColor(x, y) == grey ? QRect(x, y, 1, 1) : QRect();
                }
            const QPoint off = ink.center() - image.rect().center();
            QVERIFY(!text.isEmpty() && qAbs(off.x()) <= 2 && qAbs(off.y()) <= 2);
        }
        coil->setDown(false);
        const QImage shown = coil->grab().toImage();
        coil->setText(QStringLiteral("5---"));
        QCOMPARE(coil->grab().toImage(), shown); // the line feed shows as nothing, not as a box
        Click(dlg, IDC_PROTO_55);
        QCOMPARE(Look(dlg, IDC_INPUT_BASE + 5), QStringLiteral("5\n--- #dcdcdc"));
    }

    // Enter presses nothing; a double-click on a coil is one click; Esc and the close box
    // disconnect and close.
    void keysAndDoubleClick() {
        MainWindow dlg(nullptr, QSize(1920, 1040));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        auto* connectButton = Item<QPushButton>(dlg, IDC_SERIAL_OPEN);
        connectButton->setFocus();
        QSignalSpy clicked(connectButton, &QPushButton::clicked);
        QTest::keyClick(connectButton, Qt::Key_Return);
        QVERIFY(dlg.isVisible() && clicked.isEmpty() && finished.isEmpty());

        QWidget* coil = dlg.GetDlgItem(IDC_COIL_BASE + 4);
        QSignalSpy coilClicks(static_cast<QPushButton*>(coil), &QPushButton::clicked);
        const QPoint centre = coil->mapTo(&dlg, coil->rect().center());
        QTest::mouseDClick(dlg.windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
        QCOMPARE(coilClicks.count(), 1);
        // The click's answer comes from the window's worker.
        QTRY_COMPARE(PaneLines(dlg, IDC_SEND_LOG), QStringList{"错误: 设备未连接"});

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
        QTRY_COMPARE(PaneLines(dlg, IDC_RECV_LOG), QStringList{"已断开连接"});
        dlg.show();
        QVERIFY(dlg.close());
        QCOMPARE(finished.count(), 2);
    }

    // F1 and the background's context menu open the about box, whose texts show whole.
    void aboutBoxFromF1AndContextMenu() {
        MainWindow dlg(nullptr, QSize(1920, 1040));
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        int opened = 0;
        QStringList clipped;
        auto closeWhenShown = [&opened, &clipped] {
            QTimer::singleShot(0, [&opened, &clipped] {
                auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
                if (about == nullptr)
                    return;
                opened += about->windowTitle() == QStringLiteral("关于 Vornak");
                for (const QLabel* label : {about->VersionLabel(), about->CopyrightLabel()}) {
                    const QRect rect = label->geometry();
                    if (label->sizeHint().width() > rect.width() ||
                        label->sizeHint().height() > rect.height() ||
                        !about->rect().contains(rect) ||
                        rect.intersects(about->OkButton()->geometry()))
                        clipped << label->text();
                }
                about->close();
            });
        };
        closeWhenShown();
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(opened, 1);
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr && menu->actions().size() == 2);
            QCOMPARE(menu->actions().first()->text(), QStringLiteral("关于 Vornak(&A)..."));
            QCOMPARE(menu->actions().last()->text(), QStringLiteral("点位时间线..."));
            closeWhenShown();
            menu->actions().first()->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                dlg.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&dlg, &event);
        QCOMPARE(opened, 2);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(", ")));
    }

    void settingsOutliveTheWindow() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        MainWindow::Storage storage{dir.filePath(QStringLiteral("vornak.conf")).toStdString(),
                                    dir.filePath(QStringLiteral("logs")).toStdString()};
        {
            MainWindow dlg(nullptr, QSize(), storage);
            Click(dlg, IDC_PROTO_55);
            Click(dlg, IDC_USE_UDP);
            Item<QLineEdit>(dlg, IDC_UDP_REMOTE_IP)->setText(QStringLiteral("127.0.0.9"));

            // The form refuses a bad value and stays open; a good one closes it.
            QStringList problems;
            QTimer::singleShot(0, this, [&] {
                auto* form = qobject_cast<DescribedDialog*>(QApplication::activeModalWidget());
                QVERIFY(form != nullptr && form->windowTitle() == QStringLiteral("通信参数"));
                const auto edits = form->findChildren<QLineEdit*>();
                QCOMPARE(edits.size(), 3);
                QCOMPARE(edits[0]->text(), QStringLiteral("100"));
                edits[1]->setText(QStringLiteral("0"));
                auto* ok = form->Control<QPushButton>(ToolDialogs::IDC_OK);
                ok->click();
                problems << form->Control<QLabel>(ToolDialogs::IDC_LINK_PROBLEM)->text();
                QVERIFY(form->isVisible());
                edits[1]->setText(QStringLiteral("4"));
                ok->click();
            });
            dlg.Dialog().OnMenuCommand(WindowTools::IDM_LINK_PARAMETERS);
            QCOMPARE(problems, QStringList{QStringLiteral("重试次数应为 1 到 10 之间的整数")});
            QCOMPARE(dlg.Dialog().Config().retryCount, 4);
            QTRY_VERIFY(PaneLines(dlg, IDC_SEND_LOG).size() == 1);
            dlg.reject(); // the close box: saves, then closes
        }

        MainWindow again(nullptr, QSize(), storage);
        QVERIFY(Item<QCheckBox>(again, IDC_PROTO_55)->isChecked());
        QVERIFY(Item<QCheckBox>(again, IDC_USE_UDP)->isChecked());
        QCOMPARE(Text(again, IDC_UDP_REMOTE_IP), QStringLiteral("127.0.0.9"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
