#include "ui/CColorButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QtTest>

#include <functional>

namespace {

const QColor kParent(255, 0, 255), kBorder(128, 128, 128), kNormalBk(240, 240, 240);

// Counts its paints so that tests can tell whether a change caused a repaint.
class CountingButton : public CColorButton {
public:
    using CColorButton::CColorButton;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        CColorButton::paintEvent(event);
    }
};

// The bounding box of the pixels inside the border that differ from the background.
QRect InkBox(const QImage& image, QColor bk) {
    QRect box;
    for (int y = 1; y < image.height() - 1; ++y)
        for (int x = 1; x < image.width() - 1; ++x)
            if (image.pixelColor(x, y) != bk)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class CColorButtonTest : public QObject {
    Q_OBJECT

    QWidget* m_parent = nullptr;
    CountingButton* m_button = nullptr;

    // What the window shows of the button, over its parent's background.
    QImage Grab() const { return m_parent->grab(m_button->geometry()).toImage(); }
    void Send(QEvent&& event) { QCoreApplication::sendEvent(m_button, &event); }
    void Enter() { Send(QEnterEvent(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15))); }
    void Leave() { Send(QEvent(QEvent::Leave)); }
    void Move(int x, int y, Qt::MouseButtons buttons = Qt::NoButton) {
        Send(QMouseEvent(QEvent::MouseMove, QPointF(x, y), m_button->mapToGlobal(QPointF(x, y)),
                         Qt::NoButton, buttons, Qt::NoModifier));
    }
    // Waits for `expected` paints since `before` (paints are posted, not immediate), then a
    // little longer for any surplus one; true if exactly `expected` happened.
    bool PaintsSince(int before, int expected) {
        QDeadlineTimer deadline(5000);
        while (m_button->paints - before < expected && !deadline.hasExpired())
            QTest::qWait(1);
        QTest::qWait(30);
        return m_button->paints - before == expected;
    }

private slots:
    void init() {
        m_parent = new QWidget;
        m_parent->resize(120, 60);
        QPalette palette;
        palette.setColor(QPalette::Window, kParent);
        m_parent->setPalette(palette);
        m_parent->setAutoFillBackground(true);
        m_button = new CountingButton(m_parent);
        m_button->setGeometry(10, 10, 60, 30);
        QFont font = m_button->font();
        font.setPixelSize(20);
        font.setBold(true); // thick strokes, so some pixels carry the exact text colour
        m_button->setFont(font);
        m_button->setText(QStringLiteral("88"));
        m_parent->show();
        QVERIFY(QTest::qWaitForWindowActive(m_parent));
        // Showing the window focuses its only focusable child; the looks are checked
        // without the focus frame.
        m_button->clearFocus();
        QTRY_VERIFY(m_button->paints > 0 && !m_button->hasFocus());
        // Let the paints that showing and the focus change cause come to an end.
        int settled = -1;
        QDeadlineTimer deadline(5000);
        while (m_button->paints != settled && !deadline.hasExpired()) {
            settled = m_button->paints;
            QTest::qWait(30);
        }
    }

    void cleanup() { delete m_parent; }

    void looks_data() {
        QTest::addColumn<bool>("custom");
        QTest::addColumn<bool>("hover");
        QTest::addColumn<bool>("down");
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<QColor>("bk");
        QTest::addColumn<QColor>("text");
        const QColor hoverBk(200, 220, 255), hoverText(0, 0, 255);
        const QColor pressedBk(150, 180, 255), pressedText(255, 255, 255);
        const QColor disabledBk(220, 220, 220), disabledText(128, 128, 128);
        QTest::newRow("normal") << false << false << false << false << kNormalBk << QColor(0, 0, 0);
        QTest::newRow("hover") << false << true << false << false << hoverBk << hoverText;
        QTest::newRow("pressed") << false << false << true << false << pressedBk << pressedText;
        QTest::newRow("pressed beats hover")
            << false << true << true << false << pressedBk << pressedText;
        QTest::newRow("disabled beats all")
            << false << true << true << true << disabledBk << disabledText;
        QTest::newRow("owner's normal")
            << true << false << false << false << QColor(10, 20, 30) << QColor(250, 200, 100);
        QTest::newRow("owner's hover")
            << true << true << false << false << QColor(40, 50, 60) << QColor(1, 2, 3);
        QTest::newRow("owner's pressed")
            << true << false << true << false << QColor(70, 80, 90) << QColor(4, 5, 6);
        QTest::newRow("disabled keeps defaults")
            << true << false << false << true << disabledBk << disabledText;
    }

    void looks() {
        QFETCH(bool, custom);
        QFETCH(bool, hover);
        QFETCH(bool, down);
        QFETCH(bool, disabled);
        QFETCH(QColor, bk);
        QFETCH(QColor, text);
        if (custom) {
            m_button->SetNormalColors(QColor(10, 20, 30), QColor(250, 200, 100));
            m_button->SetHoverColors(QColor(40, 50, 60), QColor(1, 2, 3));
            m_button->SetPressedColors(QColor(70, 80, 90), QColor(4, 5, 6));
        }
        if (hover)
            Enter();
        m_button->setDown(down);
        m_button->setEnabled(!disabled);

        const QImage image = Grab();
        const int w = image.width(), h = image.height();
        bool textSeen = false;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QColor pixel = image.pixelColor(x, y);
                const bool onBorder = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                const bool inMargin = x < 3 || y < 3 || x > w - 4 || y > h - 4;
                if (onBorder)
                    QCOMPARE(pixel, kBorder); // one grey pixel in every look
                else if (inMargin)
                    QCOMPARE(pixel, bk);
                textSeen = textSeen || pixel == text;
            }
        }
        QVERIFY2(textSeen, "no pixel in the text colour");
    }

    void corners_data() {
        QTest::addColumn<int>("radius");
        QTest::addColumn<bool>("rounded");
        QTest::newRow("never set") << -1 << false;
        QTest::newRow("zero") << 0 << false;
        QTest::newRow("negative") << -5 << false;
        QTest::newRow("three") << 3 << true;
    }

    void corners() {
        QFETCH(int, radius);
        QFETCH(bool, rounded);
        if (radius != -1)
            m_button->SetCornerRadius(radius);
        const QImage image = Grab();
        const int w = image.width(), h = image.height();
        for (const QPoint& corner :
             {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
            const int dx = corner.x() == 0 ? 1 : -1, dy = corner.y() == 0 ? 1 : -1;
            QCOMPARE(image.pixelColor(corner), rounded ? kParent : kBorder);
            // The border stays closed beside a cut corner, and the fill starts inside it.
            QCOMPARE(image.pixelColor(corner + QPoint(dx, 0)), kBorder);
            QCOMPARE(image.pixelColor(corner + QPoint(0, dy)), kBorder);
            QCOMPARE(image.pixelColor(corner + QPoint(dx, dy)), kNormalBk);
        }
    }

    void pressShiftsOnlyTheCaption() {
        // The same colours in both looks, so only positions may differ.
        m_button->SetPressedColors(kNormalBk, Qt::black);
        const QImage normal = Grab();
        m_button->setDown(true);
        const QImage pressed = Grab();
        const QRect before = InkBox(normal, kNormalBk);
        QVERIFY(!before.isEmpty());
        QCOMPARE(InkBox(pressed, kNormalBk), before.translated(1, 1));
        QCOMPARE(pressed.copy(0, 0, normal.width(), 1), normal.copy(0, 0, normal.width(), 1));
    }

    void lineFeedCaptionIsOneCentredLine() {
        m_button->setText(QStringLiteral("5ON"));
        const QImage joined = Grab();
        m_button->setText(QStringLiteral("5\nON"));
        const QImage image = Grab();
        QCOMPARE(image, joined);
        const QRect ink = InkBox(image, kNormalBk);
        QVERIFY(ink.height() <= QFontMetrics(m_button->font()).height());
        QVERIFY(qAbs(ink.center().y() - image.rect().center().y()) <= 2);
        QVERIFY(qAbs(ink.center().x() - image.rect().center().x()) <= 2);
    }

    void focusFrameSitsThreePixelsInside() {
        m_button->setText(QString());
        QVERIFY(InkBox(Grab(), kNormalBk).isEmpty()); // no caption: only the box
        m_button->setFocus();
        QTRY_VERIFY(m_button->hasFocus());
        const QImage image = Grab();
        QCOMPARE(InkBox(image, kNormalBk), image.rect().adjusted(3, 3, -3, -3));
    }

    void hoverTrackingRepaintsOnlyOnChange() {
        int before = m_button->paints;
        Enter();
        QVERIFY(m_button->IsHover() && m_button->IsTracking());
        QVERIFY(PaintsSince(before, 1));

        before = m_button->paints;
        for (int i = 0; i < 5; ++i)
            Move(10 + i, 12);
        QVERIFY(PaintsSince(before, 0));

        Leave();
        QVERIFY(!m_button->IsHover() && !m_button->IsTracking());
        QVERIFY(PaintsSince(before, 1));
        before = m_button->paints;
        Leave();
        QVERIFY(PaintsSince(before, 0));

        // While a press holds the mouse, moves arrive from outside the button too: those
        // leave the look alone, one back over the button brings the hover look back.
        Move(-20, 5, Qt::LeftButton);
        QVERIFY(!m_button->IsHover());
        Move(20, 5, Qt::LeftButton);
        QVERIFY(m_button->IsHover() && m_button->IsTracking());
        QVERIFY(PaintsSince(before, 1));
    }

    void changesRepaint() {
        const std::function<void()> changes[] = {
            [this] { m_button->SetCornerRadius(3); },
            [this] { m_button->SetNormalColors(Qt::red, Qt::white); },
            [this] { m_button->SetHoverColors(Qt::red, Qt::white); },
            [this] { m_button->SetPressedColors(Qt::red, Qt::white); },
            [this] { m_button->setEnabled(false); },
        };
        for (const auto& change : changes) {
            const int before = m_button->paints;
            change();
            QVERIFY(PaintsSince(before, 1));
        }
    }
};

QTEST_MAIN(CColorButtonTest)
#include "CColorButtonTest.moc"
