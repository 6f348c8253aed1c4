// The tools' dialogs against the board simulator. Self-test, with answers 60 ms after each
// request: the window keeps handling its events while the test runs and cancel is handled at
// once (what the test leaves behind is the layer's, tested there). Board search: the board at
// address 7 is listed as it answers, and choosing it fills the main window's fields.

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "MainWindowTestSupport.h"
#include "dialog/ToolDialogs.h"
#include "dialog/WindowTools.h"
#include "support/SimProcess.h"
#include "ui/qt/BoardSearchDialog.h"
#include "ui/qt/SelfTestDialog.h"

using namespace testing_ui;

class ToolDialogsSimTest : public QObject {
    Q_OBJECT

private slots:
    void staysResponsiveAndCancels() {
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        QVERIFY2(sim.Start({"--tcp", "0", "--turnaround", "60", "--coils", "80000005"}),
                 sim.ErrorOutput().c_str());
        MainWindow dlg(nullptr, QSize(1920, 1040),
                       {dir.filePath(QStringLiteral("vornak.conf")).toStdString(), ""});
        Click(dlg, IDC_PROTO_TCP);
        AimTcp(dlg, sim.TcpPort());
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_TCP_STATUS), QStringLiteral("已连接"), 10000);

        std::vector<qint64> probes;
        qint64 cancelLatency = -1;
        QString verdict;
        QTimer::singleShot(0, this, [&] {
            auto* test = qobject_cast<SelfTestDialog*>(QApplication::activeModalWidget());
            QVERIFY(test != nullptr);
            auto* progress = test->findChild<QProgressBar*>();
            Button(test, "开始")->click();
            QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 4, 20000);
            // Events come from another thread at moments unrelated to the steps, as the
            // operator's clicks do; each records how long it waited for the window's thread.
            std::atomic<int> handled{0};
            std::thread operatorThread([&] {
                for (int i = 0; i < 8; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(23)); // spread, not sync
                    QElapsedTimer waited;
                    waited.start();
                    const bool last = i == 7;
                    QMetaObject::invokeMethod(
                        test,
                        [&, waited, last] {
                            (last ? cancelLatency : probes.emplace_back()) = waited.elapsed();
                            if (last)
                                Button(test, "取消")->click();
                            ++handled;
                        },
                        Qt::QueuedConnection);
                }
            });
            QTRY_VERIFY_WITH_TIMEOUT(handled == 8, 20000);
            operatorThread.join();
            auto* shown = test->Control<QLabel>(ToolDialogs::IDC_SELFTEST_VERDICT);
            QTRY_COMPARE_WITH_TIMEOUT(shown->text(), QStringLiteral("自检已取消"), 20000);
            verdict = shown->text();
            QVERIFY(test->Point(true, 0)->palette().color(QPalette::Window) == QColor(50, 255, 50));
            test->reject();
        });
        dlg.Dialog().OnMenuCommand(WindowTools::IDM_SELF_TEST);

        QCOMPARE(verdict, QStringLiteral("自检已取消"));
        std::sort(probes.begin(), probes.end());
        qInfo("event wait while testing: median %lld ms, max %lld ms; cancel handled after %lld ms",
              probes[3], probes.back(), cancelLatency);
        // An event waits for one transaction at most: the 60 ms turnaround and a little. The
        // bound on the single cancel leaves room for a loaded machine.
        QVERIFY2(probes[3] < 100 && cancelLatency >= 0 && cancelLatency < 250,
                 qPrintable(QString::number(cancelLatency)));
    }

    void searchListsTheBoardAndFillsTheFields() {
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        QVERIFY2(sim.Start({"--tcp", "0", "--address", "7"}), sim.ErrorOutput().c_str());
        MainWindow dlg(nullptr, QSize(1920, 1040),
                       {dir.filePath(QStringLiteral("vornak.conf")).toStdString(), ""});
        Click(dlg, IDC_PROTO_TCP);
        AimTcp(dlg, sim.TcpPort());
        QString status;
        QTimer::singleShot(0, this, [&] {
            auto* search = qobject_cast<BoardSearchDialog*>(QApplication::activeModalWidget());
            QVERIFY(search != nullptr);
            const auto boxes = search->findChildren<QCheckBox*>();
            boxes[0]->setChecked(false); // the window's protocol only
            auto* found = search->findChild<QListWidget*>();
            Button(search, "开始")->click();
            QTRY_COMPARE_WITH_TIMEOUT(found->count(), 1, 20000);
            QCOMPARE(found->item(0)->text(), QStringLiteral("地址 7  Modbus TCP"));
            Button(search, "取消")->click();
            auto* shown = search->Control<QLabel>(ToolDialogs::IDC_SEARCH_STATUS);
            QTRY_VERIFY_WITH_TIMEOUT(shown->text().startsWith(QStringLiteral("已取消")), 20000);
            status = shown->text();
            Button(search, "使用所选设备")->click();
            QVERIFY(!search->isVisible());
        });
        dlg.Dialog().OnMenuCommand(WindowTools::IDM_FIND_BOARD);
        QCOMPARE(status, QStringLiteral("已取消，找到 1 个设备"));
        QCOMPARE(Item<QComboBox>(dlg, IDC_ADDRESS_COMBO)->currentText(), QStringLiteral("7"));
        QVERIFY(Item<QCheckBox>(dlg, IDC_PROTO_TCP)->isChecked());
    }
};

QTEST_MAIN(ToolDialogsSimTest)
#include "ToolDialogsSimTest.moc"
