#include "ui/win32/SelfTestDialog.h"

#include <commctrl.h>

#include "comm/win32/WideText.h"
#include "dialog/ToolDialogs.h"

SelfTestDialog::SelfTestDialog(MainDialog& dialog, bool& loopbackChoice)
    : DescribedDialog(ToolDialogs::SelfTest()), m_dialog(dialog), m_loopbackChoice(loopbackChoice) {
}

SelfTestDialog::~SelfTestDialog() = default;

void SelfTestDialog::OnInit() {
    ISelfTestView& view = *this;
    m_session = std::make_unique<SelfTestSession>(m_dialog, view, &m_loopbackChoice);
}

void SelfTestDialog::OnCommand(int32_t id, int32_t) {
    if (!m_session)
        return;
    if (id == ToolDialogs::IDC_SELFTEST_START)
        m_session->Start(GetCheck(ToolDialogs::IDC_SELFTEST_LOOPBACK));
    else if (id == ToolDialogs::IDC_SELFTEST_CANCEL)
        m_session->Cancel();
    else if (id == ToolDialogs::IDC_SELFTEST_LOOPBACK)
        m_session->OnLoopbackChanged(GetCheck(ToolDialogs::IDC_SELFTEST_LOOPBACK));
    else if (id == ToolDialogs::IDC_SELFTEST_COPY)
        CopyToClipboard(m_session->ResultText());
}

void SelfTestDialog::CancelTool() {
    if (m_session)
        m_session->Cancel();
}

void SelfTestDialog::ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) {
    SetCell(isCoil ? ToolDialogs::IDC_SELFTEST_COILS : ToolDialogs::IDC_SELFTEST_INPUTS, index,
            colour, reason);
}

void SelfTestDialog::ShowInputs(bool shown) {
    EnableGrid(ToolDialogs::IDC_SELFTEST_INPUTS, shown);
}

void SelfTestDialog::ShowProgress(int32_t done, int32_t total) {
    const HWND progress = Control(ToolDialogs::IDC_SELFTEST_PROGRESS);
    SendMessageW(progress, PBM_SETRANGE32, 0, total);
    SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(done), 0);
}

void SelfTestDialog::ShowVerdict(const std::string& text) {
    SetText(ToolDialogs::IDC_SELFTEST_VERDICT, text);
}

void SelfTestDialog::ShowControls(const SelfTestControls& controls) {
    Enable(ToolDialogs::IDC_SELFTEST_START, controls.start);
    Enable(ToolDialogs::IDC_SELFTEST_CANCEL, controls.cancel);
    Enable(ToolDialogs::IDC_SELFTEST_COPY, controls.copy);
    Enable(ToolDialogs::IDC_SELFTEST_LOOPBACK, controls.loopback);
    SetCheck(ToolDialogs::IDC_SELFTEST_LOOPBACK, controls.loopbackChecked);
    SetTip(ToolDialogs::IDC_SELFTEST_LOOPBACK, controls.loopbackTip);
}
