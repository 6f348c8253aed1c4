// The Qt window's tools: settings remembered through QSettings from one window to the next,
// and the "通信参数..." form that stays open on a bad value.

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "MainWindowTestSupport.h"
#include "dialog/ToolDialogs.h"
#include "dialog/WindowTools.h"
#include "ui/qt/DescribedDialog.h"

using namespace testing_ui;

class MainWindowToolsTest : public QObject {
    Q_OBJECT

private slots:
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
        QVERIFY(again.GetDlgItem(IDC_UDP_CONNECT)->isEnabled());
        QCOMPARE(Text(again, IDC_UDP_REMOTE_IP), QStringLiteral("127.0.0.9"));
        QCOMPARE(again.Dialog().Config().retryCount, 4);
    }
};

QTEST_MAIN(MainWindowToolsTest)
#include "MainWindowToolsTest.moc"
