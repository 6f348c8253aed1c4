// The window's coil and input buttons as painted: the look the layer asked for stays under the
// mouse and while pressed, a disabled input is grey, the border is grey, and the caption reads
// on one line. The ON and OFF colours are checked in MainWindowSimTest.

#include <QEnterEvent>
#include <QtTest>

#include "MainWindowTestSupport.h"

using namespace testing_ui;

class ColorButtonTest : public QObject {
    Q_OBJECT

private slots:
    void looks_data() {
        QTest::addColumn<QString>("pointer");
        QTest::addColumn<bool>("inputOf55");
        QTest::addColumn<QColor>("bk");
        QTest::addColumn<QColor>("text");
        const QColor unknownBk(241, 241, 0), grey(128, 128, 128), disabledBk(220, 220, 220);
        QTest::newRow("not connected") << "" << false << unknownBk << grey;
        QTest::newRow("under the mouse") << "over" << false << unknownBk << grey;
        QTest::newRow("pressed") << "down" << false << unknownBk << grey;
        QTest::newRow("0x55's input, disabled") << "over" << true << disabledBk << grey;
    }
    // A grey border pixel, the fill inside it, and some pixels in the text colour.
    void looks() {
        QFETCH(QString, pointer);
        QFETCH(bool, inputOf55);
        QFETCH(QColor, bk);
        QFETCH(QColor, text);
        MainWindow dlg(nullptr, QSize(1920, 1040));
        if (inputOf55)
            Click(dlg, IDC_PROTO_55);
        auto* button = Item<ColorButton>(dlg, (inputOf55 ? IDC_INPUT_BASE : IDC_COIL_BASE) + 5);
        QFont font = button->font();
        font.setBold(true); // thick strokes, so some pixels carry the exact text colour
        button->setFont(font);
        if (pointer == "over") {
            QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
            QCoreApplication::sendEvent(button, &enter);
        }
        button->setDown(pointer == "down");
        const QImage image = button->grab().toImage();
        QCOMPARE(image.pixelColor(0, image.height() / 2), QColor(128, 128, 128));
        QCOMPARE(image.pixelColor(2, 2), bk);
        bool textSeen = false;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                textSeen = textSeen || image.pixelColor(x, y) == text;
        QVERIFY2(textSeen, "no pixel in the text colour");
    }

    // "5\n---" reads "5---" on one centred line, not with a box where the line feed is.
    void captionOnOneLine() {
        MainWindow dlg(nullptr, QSize(1920, 1040));
        auto* button = Item<ColorButton>(dlg, IDC_COIL_BASE + 5);
        QCOMPARE(button->text(), QStringLiteral("5\n---"));
        const QImage twoLines = button->grab().toImage();
        button->setText(QStringLiteral("5---"));
        const QImage oneLine = button->grab().toImage();
        QCOMPARE(twoLines, oneLine);
        QRect ink;
        for (int y = 2; y < oneLine.height() - 2; ++y)
            for (int x = 2; x < oneLine.width() - 2; ++x)
                if (oneLine.pixelColor(x, y) != oneLine.pixelColor(2, 2))
                    ink |= QRect(x, y, 1, 1);
        QVERIFY(!ink.isEmpty() && ink.height() <= button->fontMetrics().height());
        const QPoint off = ink.center() - oneLine.rect().center();
        QVERIFY(qAbs(off.x()) <= 2 && qAbs(off.y()) <= 2);
    }
};

QTEST_MAIN(ColorButtonTest)
#include "ColorButtonTest.moc"
