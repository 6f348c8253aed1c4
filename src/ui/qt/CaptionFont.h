#pragma once

#include <QFont>

#include "dialog/DlgItem.h"
#include "ui/qt/DialogUnits.h"

// The font for a template's control texts: the template's own font, made smaller step by
// step until every caption fits its control's rectangle (check box captions beside their
// box, group box titles inside their frame), so that no caption is clipped. Rectangles are
// converted with units. Never smaller than minPixelSize; the base font when it fits already.
QFont CaptionFont(const QFont& base, const DialogUnits& units, const DlgItem* items, int count,
                  int minPixelSize = DialogUnits::kMinTextPixels);
// The units for a template of dluSize on a screen with the given available area (see
// DialogUnits::FitScales): one scale for both directions where the captions allow it, so that
// the dialog keeps its proportions; where a caption would not fit its control even in a font
// of DialogUnits::kMinTextPixels, the horizontal scale is raised as far as that needs and the
// screen's width allows.
DialogUnits FitDialogUnits(QSize dluSize, QSize available, const DlgItem* items, int count);
// The width in pixels that a control of the given kind needs to show caption whole in font.
int CaptionWidthNeeded(DlgItemKind kind, const QString& caption, const QFont& font);
