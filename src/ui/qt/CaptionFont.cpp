#include "ui/qt/CaptionFont.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

int CaptionWidthNeeded(DlgItemKind kind, const QString& caption, const QFont& font) {
    // Probe widgets ask the style itself, so that indicator, frame and margins are those
    // the real controls will draw.
    switch (kind) {
    case DlgItemKind::CheckBox: {
        QCheckBox probe(caption);
        probe.setFont(font);
        return probe.sizeHint().width();
    }
    case DlgItemKind::Label: {
        QLabel probe(caption);
        probe.setTextFormat(Qt::PlainText);
        probe.setFont(font);
        return probe.sizeHint().width();
    }
    case DlgItemKind::GroupBox: {
        QGroupBox probe(caption);
        probe.setFont(font);
        return probe.minimumSizeHint().width();
    }
    case DlgItemKind::PushButton: {
        QPushButton probe(caption);
        probe.setFont(font);
        // The push button's own size hint adds a generous minimum width; the caption
        // only needs the text, the bevel and the focus frame.
        QStyle* style = probe.style();
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &probe);
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &probe);
        return QFontMetrics(font).horizontalAdvance(caption) + margin + 2 * frame;
    }
    default:
        return 0;
    }
}

QFont CaptionFont(const QFont& base, const DialogUnits& units, const DlgItem* items, int count,
                  int minPixelSize) {
    QFont font = base;
    int pixelSize = base.pixelSize() > 0 ? base.pixelSize() : QFontMetrics(base).height();
    for (; pixelSize > minPixelSize; --pixelSize) {
        font.setPixelSize(pixelSize);
        bool fits = true;
        for (int i = 0; i < count && fits; ++i) {
            const QString caption = QString::fromUtf8(items[i].caption);
            if (caption.isEmpty())
                continue;
            fits =
                CaptionWidthNeeded(items[i].kind, caption, font) <= units.ToPixelsX(items[i].width);
        }
        if (fits)
            return font;
    }
    font.setPixelSize(minPixelSize);
    return font;
}

DialogUnits FitDialogUnits(QSize dluSize, QSize available, const DlgItem* items, int count) {
    const auto [fitX, fitY] = DialogUnits::FitScales(dluSize, available);
    double scaleX = std::min(fitX, fitY);
    QFont smallest = DialogUnits().DialogFont();
    smallest.setPixelSize(DialogUnits::kMinTextPixels);
    const DialogUnits unscaled;
    for (int i = 0; i < count; ++i) {
        const QString caption = QString::fromUtf8(items[i].caption);
        if (caption.isEmpty() || items[i].width <= 0)
            continue;
        const double needed = CaptionWidthNeeded(items[i].kind, caption, smallest);
        scaleX = std::max(scaleX, needed / unscaled.ToPixelsX(items[i].width));
    }
    return DialogUnits(std::min(scaleX, fitX), fitY);
}
