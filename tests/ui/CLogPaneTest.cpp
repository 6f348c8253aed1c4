#include "ui/CLogPane.h"

#include <QScrollBar>
#include <QtTest>

namespace {

// The number of the line shown at the bottom of the pane.
int BottomLine(const CLogPane& pane) {
    return pane.cursorForPosition(QPoint(4, pane.viewport()->height() - 2)).blockNumber();
}

} // namespace

class CLogPaneTest : public QObject {
    Q_OBJECT

private slots:
    void keepsLinesInOrder() {
        const std::tuple<QStringList, QString, int> rows[] = {
            {{}, "", 0},
            {{"发送: 01 01 00 ", "接收: 01 01 04"}, "发送: 01 01 00 \n接收: 01 01 04", 2},
            {{"", "x"}, "\nx", 2},
            {{"", "", ""}, "\n\n", 3},
            {{"<b>a</b> &amp;", "✅ 设备已自动恢复连接"}, "<b>a</b> &amp;\n✅ 设备已自动恢复连接", 2},
            {{"a\nb", "c\r\nd"}, "a\nb\nc\nd", 4}, // a line with its own breaks
        };
        for (const auto& [lines, text, count] : rows) {
            CLogPane pane;
            for (const QString& line : lines)
                pane.AppendLine(line);
            QCOMPARE(pane.toPlainText(), text);
            QCOMPARE(pane.LineCount(), count);
        }
    }

    // The oldest lines go; the pane then carries on as before, also once emptied.
    void dropsOldestLines() {
        CLogPane pane;
        for (const char* line : {"a", "b", "c", "d", "e"})
            pane.AppendLine(line);
        pane.DropOldestLines(2);
        QCOMPARE(pane.toPlainText(), "c\nd\ne");
        QCOMPARE(pane.LineCount(), 3);
        pane.DropOldestLines(3);
        QCOMPARE(pane.LineCount(), 0);
        pane.AppendLine("x");
        QCOMPARE(pane.toPlainText(), "x");
    }

    // Also after the operator scrolled up to read, and for a line long enough to wrap; and
    // typing changes nothing.
    void newestLineIsInViewAndTypingChangesNothing() {
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

QTEST_MAIN(CLogPaneTest)
#include "CLogPaneTest.moc"
