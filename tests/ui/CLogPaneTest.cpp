#include "ui/CLogPane.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QtTest>

#include <algorithm>
#include <ctime>

namespace {

// The median CPU time of this thread for one AppendLine, over three batches.
double AppendMicros(CLogPane& pane) {
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
    };
    double batches[3];
    for (double& batch : batches) {
        const double start = now();
        for (int i = 0; i < 300; ++i)
            pane.AppendLine(QStringLiteral("发送: 01 01 00 00 00 20"));
        batch = (now() - start) / 300;
    }
    std::sort(batches, batches + 3);
    return batches[1];
}

// The number of the line shown at the bottom of the pane.
int BottomLine(const CLogPane& pane) {
    return pane.cursorForPosition(QPoint(4, pane.viewport()->height() - 2)).blockNumber();
}

} // namespace

class CLogPaneTest : public QObject {
    Q_OBJECT

private slots:
    void keepsLinesInOrder_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("none") << QStringList{} << QString() << 0;
        QTest::newRow("frames") << QStringList{"发送: 01 01 00 00 00 20 3D D2 ", "接收: 01 01 04"}
                                << QString("发送: 01 01 00 00 00 20 3D D2 \n接收: 01 01 04") << 2;
        QTest::newRow("leading empty line") << QStringList{"", "x"} << QString("\nx") << 2;
        QTest::newRow("only empty lines") << QStringList{"", "", ""} << QString("\n\n") << 3;
        QTest::newRow("markup stays text") << QStringList{"<b>a</b> &amp;", "✅ 设备已自动恢复连接"}
                                           << QString("<b>a</b> &amp;\n✅ 设备已自动恢复连接") << 2;
        QTest::newRow("line with its own breaks")
            << QStringList{"a\nb", "c\r\nd"} << QString("a\nb\nc\nd") << 4;
    }

    void keepsLinesInOrder() {
        QFETCH(QStringList, lines);
        QFETCH(QString, text);
        QFETCH(int, count);
        CLogPane pane;
        for (const QString& line : lines)
            pane.AppendLine(line);
        QCOMPARE(pane.toPlainText(), text);
        QCOMPARE(pane.LineCount(), count);
    }

    void newestLineIsInView() {
        CLogPane pane;
        pane.resize(300, 150);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        for (int i = 0; i < 200; ++i) {
            pane.AppendLine(QStringLiteral("接收: %1 01 04 00 00 00 00 FB D1").arg(i));
            if (i % 50 == 0)
                QCoreApplication::processEvents();
        }
        QScrollBar* bar = pane.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(BottomLine(pane), 199);

        // The operator has scrolled up to read; the next line still brings the end into view,
        // even one long enough to wrap.
        bar->setValue(0);
        QVERIFY(BottomLine(pane) < 199);
        pane.AppendLine(QStringLiteral("操作失败 [0x01]: ") + QString(120, QLatin1Char('x')));
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(BottomLine(pane), 200);
    }

    void appendCostDoesNotGrowWithThePane() {
        CLogPane small, large;
        small.AppendLine(QStringLiteral("first"));
        large.AppendLine(QStringLiteral("first"));
        // Filled in one edit: the same one-block-per-line document, built quickly.
        QString lines;
        for (int i = 0; i < 60000; ++i)
            lines += QStringLiteral("\n接收: %1 01 04 00 00").arg(i);
        QTextCursor cursor(large.document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(lines);
        QCOMPARE(large.LineCount(), 60001); // no line limit

        const double early = AppendMicros(small), late = AppendMicros(large);
        // A cost that grew with the pane would be tens of times higher here; the bound leaves
        // room for a busy machine.
        QVERIFY2(late < 5 * early, qPrintable(QStringLiteral("%1 vs %2 us").arg(late).arg(early)));
    }

    void isReadOnly() {
        CLogPane pane;
        pane.AppendLine(QStringLiteral("已断开连接"));
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        pane.setFocus();
        QTest::keyClicks(&pane, QStringLiteral("typed"));
        QTest::keyClick(&pane, Qt::Key_Backspace);
        QTest::keyClick(&pane, Qt::Key_Return);
        QCOMPARE(pane.toPlainText(), QStringLiteral("已断开连接"));
    }
};

QTEST_MAIN(CLogPaneTest)
#include "CLogPaneTest.moc"
