#pragma once

#include "dialog/AboutBoxTexts.h"
#include "ui/win32/DescribedDialog.h"

// The about box, rendered from its description: the icon, the version and copyright lines
// and an OK button. OK, Enter, Esc and the close box end it.
class AboutDialog : public DescribedDialog {
public:
    explicit AboutDialog(const AboutBoxTexts& texts);

private:
    void OnCommand(int32_t id, int32_t code) override;
};
