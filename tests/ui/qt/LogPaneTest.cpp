#include "ui/qt/LogPane.h"

#include <QScrollBar>
#include <QtTest>

namespace {

// The number of the line shown at the bottom of the pane.
int BottomLine(const LogPane& pane) {
    return pane.cursorForPosition(QPoint(4, pane.viewport()->height() - 2)).blockNumber();
}

} // namespace

class LogPaneTest : public QObject {
    Q_OBJECT

private slots:
    // Lines appended, then the oldest `drop` of them dropped; the pane carries on as before,
    // also once emptied.
    void keepsLinesInOrder() {
        const std::tuple<QStringList, int, QString, int> rows[] = {
            {{"", "x"}, 0, "\nx", 2},
            {{"<b>a</b> &amp;", "✅ 设备已自动恢复连接"},
             0,
             "<b>a</b> &amp;\n✅ 设备已自动恢复连接",
             2},
            {{"a\nb", "c\r\nd"}, 0, "a\nb\nc\nd", 4}, // a line with its own breaks
            {{"a", "b", "c", "d", "e"}, 2, "c\nd\ne", 3},
            {{"a", "b"}, 5, "", 0},
        };
        for (const auto& [lines, drop, text, count] : rows) {
            LogPane pane;
            for (const QString& line : lines)
                pane.AppendLine(line);
            pane.DropOldestLines(drop);
            QCOMPARE(pane.toPlainText(), text);
            QCOMPARE(pane.LineCount(), count);
            pane.AppendLine("z");
            QCOMPARE(pane.toPlainText(), text.isEmpty() && count == 0 ? "z" : text + "\nz");
        }
    }

    // Also after the operator scrolled up to read, and for a line long enough to wrap; and
    // typing changes nothing.
    void newestLineIsInViewAndTypingChangesNothing() {
        LogPane pane;
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

        bar->setValue(0);
        QVERIFY(BottomLine(pane) < 199);
        pane.AppendLine(QStringLiteral("操作失败 [0x01]: ") + QString(120, QLatin1Char('x')));
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(BottomLine(pane), 200);

        const QString before = pane.toPlainText();
        QTest::keyClicks(&pane, "typed\b\r");
        QCOMPARE(pane.toPlainText(), before);
    }
};

QTEST_MAIN(LogPaneTest)
#include "LogPaneTest.moc"
