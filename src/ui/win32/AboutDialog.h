#pragma once

#include <windows.h>

#include "dialog/AboutBoxTexts.h"

// The about box: the icon, the version and copyright lines and an OK button, built as
// dialog 100 from the texts the window layer gives.
class AboutDialog {
public:
    explicit AboutDialog(const AboutBoxTexts& texts) : m_texts(texts) {}

    // Shows the box modally over owner until OK, Enter, Esc or the close box.
    void DoModal(HWND owner) const;

private:
    AboutBoxTexts m_texts;
};
