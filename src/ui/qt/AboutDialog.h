#pragma once

#include <QDialog>

#include "dialog/AboutBoxTexts.h"

class QLabel;
class QPushButton;

// The about box: icon, program name and version, copyright line and an OK button, laid out
// in dialog units. Shown modally with exec(); OK, Esc and the close box end it.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(const AboutBoxTexts& texts, QWidget* parent = nullptr);

    QLabel* IconLabel() const { return m_iconLabel; }
    QLabel* VersionLabel() const { return m_versionLabel; }
    QLabel* CopyrightLabel() const { return m_copyrightLabel; }
    QPushButton* OkButton() const { return m_okButton; }

private:
    // A one-line text at its template rectangle, made as tall as the font's line, so that
    // descenders are not cut off.
    QLabel* AddLine(const std::string& text, const QRect& dluRect);

    QLabel* m_iconLabel;
    QLabel* m_versionLabel;
    QLabel* m_copyrightLabel;
    QPushButton* m_okButton;
};
