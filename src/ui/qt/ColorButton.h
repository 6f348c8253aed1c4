#pragma once

#include <QColor>
#include <QPushButton>

#include <cstdint>

// A push button that paints itself: a filled rectangle (optionally with rounded corners), a
// 1 px grey border and a centred one-line caption, in one of four colour pairs chosen by the
// owner for the normal, hover, pressed and disabled looks.
class ColorButton : public QPushButton {
    Q_OBJECT

public:
    explicit ColorButton(QWidget* parent = nullptr);

    // Corner rounding in pixels: the width and height of the corner ellipse. Below 1 means
    // square corners. Repaints.
    void SetCornerRadius(int32_t radius);
    // Each setter stores one colour pair (background, text) and repaints.
    void SetNormalColors(QColor bk, QColor text);
    void SetHoverColors(QColor bk, QColor text);
    void SetPressedColors(QColor bk, QColor text);

    int32_t CornerRadius() const { return m_cornerRadius; }
    // True while the pointer is over the button (between enter and leave).
    bool IsHover() const { return m_hover; }
    // True while a leave notification is awaited; follows IsHover().
    bool IsTracking() const { return m_tracking; }
    // The background and text colours the next paint uses, by the rule
    // disabled > pressed > hover > normal.
    QColor CurrentBkColor() const;
    QColor CurrentTextColor() const;

    // The border colour, the same for every look.
    static QColor BorderColor() { return QColor(128, 128, 128); }
    // The caption as drawn: line breaks are dropped so that it stays on one line.
    static QString SingleLineCaption(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The pointer moved over the button: starts hover tracking once.
    void TrackPointer();
    void Repaint();

    QColor m_normalBkColor{240, 240, 240};
    QColor m_normalTextColor{0, 0, 0};
    QColor m_hoverBkColor{200, 220, 255};
    QColor m_hoverTextColor{0, 0, 255};
    QColor m_pressedBkColor{150, 180, 255};
    QColor m_pressedTextColor{255, 255, 255};
    QColor m_disabledBkColor{220, 220, 220};
    QColor m_disabledTextColor{128, 128, 128};
    int32_t m_cornerRadius = 0;
    bool m_hover = false;
    bool m_tracking = false;
};
