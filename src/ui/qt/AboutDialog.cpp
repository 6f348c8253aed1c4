#include "ui/qt/AboutDialog.h"

#include "ui/qt/DialogUnits.h"
#include "ui/qt/VornakIcon.h"

#include <QLabel>
#include <QPushButton>

AboutDialog::AboutDialog(const AboutBoxTexts& texts, QWidget* parent) : QDialog(parent) {
    const DialogUnits units;
    setWindowTitle(QString::fromUtf8(texts.caption.c_str()));
    setWindowIcon(VornakIcon());
    setFont(units.DialogFont());
    setFixedSize(units.ToPixels(QSize(170, 62)));

    // The icon shows at its natural 32 px, anchored at its template position.
    const int iconSize = 32;
    m_iconLabel = new QLabel(this);
    m_iconLabel->setGeometry(QRect(units.ToPixels(QPoint(14, 14)), QSize(iconSize, iconSize)));
    m_iconLabel->setPixmap(VornakIcon().pixmap(iconSize, iconSize));

    m_versionLabel = AddLine(texts.versionLine, QRect(42, 14, 114, 8));
    m_copyrightLabel = AddLine(texts.copyrightLine, QRect(42, 26, 114, 8));

    m_okButton = new QPushButton(QString::fromUtf8(texts.okButton.c_str()), this);
    m_okButton->setGeometry(units.ToPixels(QRect(113, 41, 50, 14)));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    m_okButton->setFocus();
}

QLabel* AboutDialog::AddLine(const std::string& text, const QRect& dluRect) {
    auto* label = new QLabel(QString::fromUtf8(text.c_str()), this);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QRect rect = DialogUnits().ToPixels(dluRect);
    const QSize needed = label->sizeHint();
    rect.setSize(rect.size().expandedTo(needed));
    label->setGeometry(rect);
    return label;
}
