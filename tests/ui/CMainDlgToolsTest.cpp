// The Qt window's tools: settings remembered through QSettings from one window to the next,
// the "通信参数..." form that stays open on a bad value, and the statistics line's place.

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "MainDlgTestSupport.h"
#include "dialog/WindowTools.h"

using namespace testing_ui;

class CMainDlgToolsTest : public QObject {
    Q_OBJECT

private slots:
    void settingsOutliveTheWindow() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        CMainDlg::Storage storage{dir.filePath(QStringLiteral("vornak.conf")).toStdString(),
                                  dir.filePath(QStringLiteral("logs")).toStdString()};
        {
            CMainDlg dlg(nullptr, QSize(), storage);
            Click(dlg, IDC_PROTO_55);
            Click(dlg, IDC_USE_UDP);
            Item<QLineEdit>(dlg, IDC_UDP_REMOTE_IP)->setText(QStringLiteral("127.0.0.9"));

            // The form refuses a bad value and stays open; a good one closes it.
            QStringList problems;
            QTimer::singleShot(0, this, [&] {
                QWidget* form = QApplication::activeModalWidget();
                QVERIFY(form != nullptr && form->objectName() == QStringLiteral("linkParameters"));
                const auto edits = form->findChildren<QLineEdit*>();
                QCOMPARE(edits.size(), 3);
                QCOMPARE(edits[0]->text(), QStringLiteral("100"));
                edits[1]->setText(QStringLiteral("0"));
                auto* ok = form->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
                ok->click();
                problems << form->findChild<QLabel*>(QStringLiteral("problem"))->text();
                QVERIFY(form->isVisible());
                edits[1]->setText(QStringLiteral("4"));
                ok->click();
            });
            dlg.Dialog().OnMenuCommand(WindowTools::IDM_LINK_PARAMETERS);
            QCOMPARE(problems, QStringList{QStringLiteral("重试次数应为 1 到 10 之间的整数")});
            QCOMPARE(dlg.Dialog().GetDevice().GetConfig().retryCount, 4);
            QTRY_VERIFY(PaneLines(dlg, IDC_SEND_LOG).size() == 1);
            dlg.reject(); // the close box: saves, then closes
        }

        CMainDlg again(nullptr, QSize(), storage);
        QVERIFY(Item<QCheckBox>(again, IDC_PROTO_55)->isChecked());
        QVERIFY(Item<QCheckBox>(again, IDC_USE_UDP)->isChecked());
        QVERIFY(again.GetDlgItem(IDC_UDP_CONNECT)->isEnabled());
        QCOMPARE(Text(again, IDC_UDP_REMOTE_IP), QStringLiteral("127.0.0.9"));
        QCOMPARE(again.Dialog().GetDevice().GetConfig().retryCount, 4);
    }

    // The statistics line lies in the free strip below the log group box, covers no
    // control, and shows a busy link's line whole, on a large and on a small screen.
    void statisticsLineFitsBelowTheLogs() {
        for (const QSize screen : {QSize(1920, 1040), QSize(1366, 728)}) {
            CMainDlg dlg(nullptr, screen);
            auto* line = Item<QLabel>(dlg, IDC_LINK_STATS);
            QVERIFY(line != nullptr);
            QVERIFY(dlg.rect().contains(line->geometry()));
            for (QWidget* other : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(other == line || !other->geometry().intersects(line->geometry()),
                         qPrintable(other->objectName()));
            const QString busy = QStringLiteral(
                "请求 123456  成功 120000  失败 3456 (无应答 3000, 校验错误 400, 设备异常 56)  "
                "往返 ms: 最小 3.1  平均 12.4  P95 45.2  最大 120.7");
            QVERIFY2(line->fontMetrics().horizontalAdvance(busy) <= line->width(),
                     qPrintable(QStringLiteral("%1 > %2")
                                    .arg(line->fontMetrics().horizontalAdvance(busy))
                                    .arg(line->width())));
        }
    }
};

QTEST_MAIN(CMainDlgToolsTest)
#include "CMainDlgToolsTest.moc"
