#pragma once

#include "dialog/AboutBoxTexts.h"
#include "ui/qt/DescribedDialog.h"

class QLabel;
class QPushButton;

// The about box, rendered from its description: icon, program name and version, copyright
// line and an OK button. Shown modally with exec(); OK, Esc and the close box end it.
class AboutDialog : public DescribedDialog {
    Q_OBJECT

public:
    explicit AboutDialog(const AboutBoxTexts& texts, QWidget* parent = nullptr);

    QLabel* VersionLabel() const;
    QLabel* CopyrightLabel() const;
    QPushButton* OkButton() const;
};
