#include "ui/CAboutDlg.h"

#include "ui/DialogUnits.h"
#include "ui/VornakIcon.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 Vornak"));
    setWindowIcon(VornakIcon());
    setFont(DialogUnits::DialogFont());
    setFixedSize(DialogUnits::ToPixels(QSize(170, 62)));

    // The icon shows at its natural 32 px, anchored at its template position.
    const int iconSize = 32;
    m_iconLabel = new QLabel(this);
    m_iconLabel->setGeometry(
        QRect(DialogUnits::ToPixels(QPoint(14, 14)), QSize(iconSize, iconSize)));
    m_iconLabel->setPixmap(VornakIcon().pixmap(iconSize, iconSize));

    m_versionLabel = new QLabel(QStringLiteral("Vornak，版本 1.0"), this);
    m_versionLabel->setTextFormat(Qt::PlainText);
    m_versionLabel->setGeometry(DialogUnits::ToPixels(QRect(42, 14, 114, 8)));

    m_copyrightLabel = new QLabel(QStringLiteral("Copyright (C) 2026"), this);
    m_copyrightLabel->setTextFormat(Qt::PlainText);
    m_copyrightLabel->setGeometry(DialogUnits::ToPixels(QRect(42, 26, 114, 8)));

    m_okButton = new QPushButton(QStringLiteral("确定"), this);
    m_okButton->setGeometry(DialogUnits::ToPixels(QRect(113, 41, 50, 14)));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    m_okButton->setFocus();
}
