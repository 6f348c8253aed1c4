#include "ui/win32/AboutDialog.h"

#include "dialog/ToolDialogs.h"

AboutDialog::AboutDialog(const AboutBoxTexts& texts) : DescribedDialog(ToolDialogs::About(texts)) {}

void AboutDialog::OnCommand(int32_t id, int32_t) {
    if (id == ToolDialogs::IDC_OK)
        End(IDOK);
}
