#pragma once

#include <QFont>

#include "ui/DlgItem.h"

class QStyle;

// The font for a template's control texts: the template's own font, made smaller step by
// step until every caption fits its control's rectangle (check box captions beside their
// box, group box titles inside their frame), so that no caption is clipped. Never smaller
// than minPixelSize; returns the base font when it fits already.
QFont CaptionFont(const QFont& base, const DlgItem* items, int count, int minPixelSize = 9);
// The width in pixels that a control of the given kind needs to show caption whole in font.
int CaptionWidthNeeded(DlgItemKind kind, const QString& caption, const QFont& font);
