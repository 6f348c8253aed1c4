#include "ui/qt/ColorButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

ColorButton::ColorButton(QWidget* parent) : QPushButton(parent) {}

void ColorButton::SetCornerRadius(int32_t radius) {
    m_cornerRadius = radius;
    Repaint();
}

void ColorButton::SetNormalColors(QColor bk, QColor text) {
    m_normalBkColor = bk;
    m_normalTextColor = text;
    Repaint();
}

void ColorButton::SetHoverColors(QColor bk, QColor text) {
    m_hoverBkColor = bk;
    m_hoverTextColor = text;
    Repaint();
}

void ColorButton::SetPressedColors(QColor bk, QColor text) {
    m_pressedBkColor = bk;
    m_pressedTextColor = text;
    Repaint();
}

QColor ColorButton::CurrentBkColor() const {
    if (!isEnabled())
        return m_disabledBkColor;
    if (isDown())
        return m_pressedBkColor;
    if (m_hover)
        return m_hoverBkColor;
    return m_normalBkColor;
}

QColor ColorButton::CurrentTextColor() const {
    if (!isEnabled())
        return m_disabledTextColor;
    if (isDown())
        return m_pressedTextColor;
    if (m_hover)
        return m_hoverTextColor;
    return m_normalTextColor;
}

QString ColorButton::SingleLineCaption(const QString& text) {
    // A single-line caption shows line breaks as nothing: "5\nON" reads "5ON".
    QString caption = text;
    caption.remove(QLatin1Char('\r'));
    caption.remove(QLatin1Char('\n'));
    return caption;
}

namespace {

// Pixels cut from each end of pixel row `row` (counted from the nearer of the top and bottom
// edges) by corners whose ellipse is `ellipseWidth` x `ellipseHeight` pixels. The ellipse's
// outline runs through pixel centres, so a 3 x 3 ellipse cuts exactly the corner pixel.
int CornerInset(int row, double ellipseWidth, double ellipseHeight) {
    const double cx = (ellipseWidth - 1.0) / 2.0;
    const double cy = (ellipseHeight - 1.0) / 2.0;
    if (cx <= 0.0 || cy <= 0.0 || row >= cy)
        return 0;
    const double dy = (cy - row) / cy;
    const double x = cx - cx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
    // Halves round down so that a corner is never cut deeper than the ellipse.
    return static_cast<int>(std::ceil(x - 0.5));
}

} // namespace

void ColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int width = this->width();
    const int height = this->height();
    if (width <= 0 || height <= 0)
        return;

    // The shape is painted as whole-pixel spans, so every edge is exact: the border is one
    // pixel of the border colour that never blends with the fill or the parent behind it.
    const int radius = m_cornerRadius >= 1 ? m_cornerRadius : 0;
    const double ellipseWidth = std::min(radius, width);
    const double ellipseHeight = std::min(radius, height);
    auto inset = [&](int row) {
        if (row < 0 || row >= height)
            return width; // beyond the button: nothing is inside
        return CornerInset(std::min(row, height - 1 - row), ellipseWidth, ellipseHeight);
    };
    const QColor bk = CurrentBkColor();
    const QColor border = BorderColor();
    for (int row = 0; row < height; ++row) {
        const int left = inset(row);
        const int right = width - 1 - left;
        if (left > right)
            continue;
        // A pixel is on the border when a neighbour across an edge lies outside the shape.
        const int span = right - left + 1;
        const int run = std::max(1, std::max(inset(row - 1), inset(row + 1)) - left);
        if (2 * run >= span) {
            painter.fillRect(left, row, span, 1, border);
            continue;
        }
        painter.fillRect(left, row, run, 1, border);
        painter.fillRect(left + run, row, span - 2 * run, 1, bk);
        painter.fillRect(right - run + 1, row, run, 1, border);
    }

    const QString caption = SingleLineCaption(text());
    if (!caption.isEmpty()) {
        painter.setPen(CurrentTextColor());
        painter.setFont(font());
        const QRect textArea = isDown() ? rect().translated(1, 1) : rect();
        painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                         caption);
    }

    if (hasFocus()) {
        // A dotted frame that inverts what lies beneath, so it shows on any background.
        const QRect frame = rect().adjusted(3, 3, -3, -3);
        if (frame.width() > 0 && frame.height() > 0) {
            QPolygon dots;
            auto addDot = [&dots](int x, int y) {
                if ((x + y) % 2 == 0)
                    dots << QPoint(x, y);
            };
            for (int x = frame.left(); x <= frame.right(); ++x) {
                addDot(x, frame.top());
                if (frame.bottom() != frame.top())
                    addDot(x, frame.bottom());
            }
            for (int y = frame.top() + 1; y < frame.bottom(); ++y) {
                addDot(frame.left(), y);
                if (frame.right() != frame.left())
                    addDot(frame.right(), y);
            }
            painter.setCompositionMode(QPainter::RasterOp_NotDestination);
            painter.setPen(QPen(Qt::black, 1));
            painter.drawPoints(dots);
        }
    }
}

void ColorButton::TrackPointer() {
    if (m_tracking)
        return;
    m_tracking = true;
    if (!m_hover) {
        m_hover = true;
        Repaint();
    }
}

void ColorButton::enterEvent(QEnterEvent* event) {
    TrackPointer();
    QPushButton::enterEvent(event);
}

void ColorButton::mouseMoveEvent(QMouseEvent* event) {
    // While a press holds the mouse, moves arrive from outside the button too; those must
    // not bring the hover look back after the pointer has left.
    if (rect().contains(event->position().toPoint()))
        TrackPointer();
    QPushButton::mouseMoveEvent(event);
}

// Qt turns the second press of a double-click into another press, and so another click; a
// double-click is one click here, so that a coil is switched once.
void ColorButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void ColorButton::leaveEvent(QEvent* event) {
    m_tracking = false;
    if (m_hover) {
        m_hover = false;
        Repaint();
    }
    QPushButton::leaveEvent(event);
}

void ColorButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        Repaint();
}

void ColorButton::Repaint() {
    update();
}
