#include "ui/qt/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "dialog/ToolDialogs.h"

AboutDialog::AboutDialog(const AboutBoxTexts& texts, QWidget* parent)
    : DescribedDialog(ToolDialogs::About(texts), parent) {
    connect(OkButton(), &QPushButton::clicked, this, &QDialog::accept);
    OkButton()->setFocus();
}

QLabel* AboutDialog::VersionLabel() const {
    return Control<QLabel>(ToolDialogs::IDC_ABOUT_VERSION);
}

QLabel* AboutDialog::CopyrightLabel() const {
    return Control<QLabel>(ToolDialogs::IDC_ABOUT_COPYRIGHT);
}

QPushButton* AboutDialog::OkButton() const {
    return Control<QPushButton>(ToolDialogs::IDC_OK);
}
