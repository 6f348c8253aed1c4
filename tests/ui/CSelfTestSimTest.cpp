// The self-test dialog against the board simulator answering after 60 ms: the window keeps
// handling its events while the test runs, cancel is handled at once, the coils end as they
// began and the poll comes back.

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "MainDlgTestSupport.h"
#include "dialog/WindowTools.h"
#include "support/SimProcess.h"
#include "ui/CSelfTestDlg.h"

using namespace testing_ui;

class CSelfTestSimTest : public QObject {
    Q_OBJECT

private slots:
    void staysResponsiveAndCancels() {
        QTemporaryDir dir;
        SimProcess sim(VORNAK_SIM_PATH);
        QVERIFY2(sim.Start({"--tcp", "0", "--turnaround", "60", "--coils", "80000005"}),
                 sim.ErrorOutput().c_str());
        CMainDlg dlg(nullptr, QSize(1920, 1040),
                     {dir.filePath(QStringLiteral("vornak.conf")).toStdString(), ""});
        Click(dlg, IDC_PROTO_TCP);
        Click(dlg, IDC_USE_TCP);
        Item<QLineEdit>(dlg, IDC_TCP_SERVER)->setText(QStringLiteral("127.0.0.1"));
        Item<QLineEdit>(dlg, IDC_TCP_PORT)->setText(QString::number(sim.TcpPort()));
        Click(dlg, IDC_TCP_CONNECT);
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, IDC_TCP_STATUS), QStringLiteral("已连接"), 10000);

        std::vector<qint64> probes;
        qint64 cancelLatency = -1;
        QString verdict;
        QTimer::singleShot(0, this, [&] {
            auto* test = qobject_cast<CSelfTestDlg*>(QApplication::activeModalWidget());
            QVERIFY(test != nullptr);
            auto button = [test](const char* caption) {
                for (QPushButton* b : test->findChildren<QPushButton*>())
                    if (b->text() == QString::fromUtf8(caption))
                        return b;
                return static_cast<QPushButton*>(nullptr);
            };
            auto* progress = test->findChild<QProgressBar*>();
            button("开始")->click();
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
                                button("取消")->click();
                            ++handled;
                        },
                        Qt::QueuedConnection);
                }
            });
            QTRY_VERIFY_WITH_TIMEOUT(handled == 8, 20000);
            operatorThread.join();
            auto* shown = test->findChild<QLabel*>(QStringLiteral("verdict"));
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
        uint32_t coils = 0, inputs = 0;
        QVERIFY(sim.ReadStates(coils, inputs));
        QCOMPARE(coils, 0x80000005u);
        QCOMPARE(dlg.Dialog().TimerInterval(TIMER_POLL), 1000);
    }
};

QTEST_MAIN(CSelfTestSimTest)
#include "CSelfTestSimTest.moc"
