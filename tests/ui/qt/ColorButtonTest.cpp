#include "ui/qt/ColorButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QtTest>

namespace {

const QColor kParent(255, 0, 255), kBorder(128, 128, 128), kNormalBk(240, 240, 240);
const QColor kHoverBk(200, 220, 255), kHoverText(0, 0, 255);
const QColor kPressedBk(150, 180, 255), kPressedText(255, 255, 255);
const QColor kDisabledBk(220, 220, 220), kDisabledText(128, 128, 128);

// The bounding box of the pixels inside the border that differ from the background.
QRect InkBox(const QImage& image, QColor bk) {
    QRect box;
    for (int y = 1; y < image.height() - 1; ++y)
        for (int x = 1; x < image.width() - 1; ++x)
            if (image.pixelColor(x, y) != bk)
                box |= QRect(x, y, 1, 1);
    return box;
}

// pointer: 1 entered, 2 then left, 3 then moved outside with a button held (a press that
// holds the mouse reports such moves), 4 then moved back over it. radius -1: never set.
struct Look {
    const char* name;
    bool custom, down, disabled;
    int pointer, radius;
    QColor bk, text;
};
const Look kLooks[] = {
    {"normal", false, false, false, 0, -1, kNormalBk, Qt::black},
    {"hover", false, false, false, 1, -1, kHoverBk, kHoverText},
    {"left again", false, false, false, 2, -1, kNormalBk, Qt::black},
    {"moves outside while held", false, false, false, 3, -1, kNormalBk, Qt::black},
    {"back over it while held", false, false, false, 4, -1, kHoverBk, kHoverText},
    {"pressed", false, true, false, 0, -1, kPressedBk, kPressedText},
    {"pressed beats hover", false, true, false, 1, -1, kPressedBk, kPressedText},
    {"disabled beats all", false, true, true, 1, -1, kDisabledBk, kDisabledText},
    {"owner's normal", true, false, false, 0, -1, QColor(10, 20, 30), QColor(250, 200, 100)},
    {"owner's hover", true, false, false, 1, -1, QColor(40, 50, 60), QColor(1, 2, 3)},
    {"owner's pressed", true, true, false, 0, -1, QColor(70, 80, 90), QColor(4, 5, 6)},
    {"disabled keeps its colours", true, false, true, 0, -1, kDisabledBk, kDisabledText},
    {"radius 0 is square", false, false, false, 0, 0, kNormalBk, Qt::black},
    {"negative radius is square", false, false, false, 0, -5, kNormalBk, Qt::black},
    {"radius 3 cuts the corner pixels", false, false, false, 0, 3, kNormalBk, Qt::black},
};

} // namespace

class ColorButtonTest : public QObject {
    Q_OBJECT

    QWidget* m_parent = nullptr;
    ColorButton* m_button = nullptr;

    // What the window shows of the button, over its parent's background.
    QImage Grab() const { return m_parent->grab(m_button->geometry()).toImage(); }
    void Send(QEvent&& event) { QCoreApplication::sendEvent(m_button, &event); }
    void MoveHeld(int x) {
        Send(QMouseEvent(QEvent::MouseMove, QPointF(x, 5), m_button->mapToGlobal(QPointF(x, 5)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier));
    }

private slots:
    void init() {
        m_parent = new QWidget;
        m_parent->resize(120, 60);
        QPalette palette;
        palette.setColor(QPalette::Window, kParent);
        m_parent->setPalette(palette);
        m_parent->setAutoFillBackground(true);
        m_button = new ColorButton(m_parent);
        m_button->setGeometry(10, 10, 60, 30);
        QFont font = m_button->font();
        font.setPixelSize(20);
        font.setBold(true); // thick strokes, so some pixels carry the exact text colour
        m_button->setFont(font);
        m_button->setText(QStringLiteral("88"));
        m_parent->show();
        QVERIFY(QTest::qWaitForWindowActive(m_parent));
        // Showing focuses the only focusable child; the looks are checked without the frame.
        m_button->clearFocus();
        QTRY_VERIFY(!m_button->hasFocus());
    }
    void cleanup() { delete m_parent; }

    void looks_data() {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kLooks)); ++row)
            QTest::newRow(kLooks[row].name) << row;
    }
    // One grey border pixel (none at a cut corner), a 2 px margin in the background
    // colour, and some pixels in the text colour.
    void looks() {
        QFETCH(int, row);
        const Look& look = kLooks[row];
        if (look.custom) {
            m_button->SetNormalColors(QColor(10, 20, 30), QColor(250, 200, 100));
            m_button->SetHoverColors(QColor(40, 50, 60), QColor(1, 2, 3));
            m_button->SetPressedColors(QColor(70, 80, 90), QColor(4, 5, 6));
        }
        if (look.radius != -1)
            m_button->SetCornerRadius(look.radius);
        if (look.pointer >= 1)
            Send(QEnterEvent(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15)));
        if (look.pointer >= 2)
            Send(QEvent(QEvent::Leave));
        if (look.pointer >= 3)
            MoveHeld(-20);
        if (look.pointer >= 4)
            MoveHeld(20);
        m_button->setDown(look.down);
        m_button->setEnabled(!look.disabled);

        const QImage image = Grab();
        const int w = image.width(), h = image.height();
        bool textSeen = false;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QColor pixel = image.pixelColor(x, y);
                const bool cut =
                    look.radius > 0 && (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
                if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
                    QCOMPARE(pixel, cut ? kParent : kBorder);
                else if (x < 3 || y < 3 || x > w - 4 || y > h - 4)
                    QCOMPARE(pixel, look.bk);
                textSeen = textSeen || pixel == look.text;
            }
        }
        QVERIFY2(textSeen, "no pixel in the text colour");
    }

    // A press moves the caption 1 px right and down, and nothing else; a line feed in the
    // caption is dropped, the rest stays one centred line.
    void captionPlacement() {
        m_button->SetPressedColors(kNormalBk, Qt::black); // so that only positions differ
        const QImage normal = Grab();
        m_button->setDown(true);
        const QImage pressed = Grab();
        const QRect ink = InkBox(normal, kNormalBk);
        QVERIFY(!ink.isEmpty());
        QCOMPARE(InkBox(pressed, kNormalBk), ink.translated(1, 1));
        QCOMPARE(pressed.copy(0, 0, normal.width(), 1), normal.copy(0, 0, normal.width(), 1));
        m_button->setDown(false);

        m_button->setText(QStringLiteral("5ON"));
        const QImage joined = Grab();
        m_button->setText(QStringLiteral("5\nON"));
        QCOMPARE(Grab(), joined);
        const QRect line = InkBox(joined, kNormalBk);
        QVERIFY(line.height() <= QFontMetrics(m_button->font()).height());
        const QPoint off = line.center() - joined.rect().center();
        QVERIFY(qAbs(off.x()) <= 2 && qAbs(off.y()) <= 2);
    }
};

QTEST_MAIN(ColorButtonTest)
#include "ColorButtonTest.moc"
