#include "ui/win32/BoardSearchDialog.h"

#include <commctrl.h>

#include "comm/win32/WideText.h"
#include "dialog/ToolDialogs.h"

BoardSearchDialog::BoardSearchDialog(WindowTools& tools)
    : DescribedDialog(ToolDialogs::BoardSearch()), m_tools(tools) {}

BoardSearchDialog::~BoardSearchDialog() = default;

void BoardSearchDialog::OnInit() {
    SetCheck(ToolDialogs::IDC_SEARCH_ALL_PROTOCOLS, true);
    IBoardSearchView& view = *this;
    m_session = std::make_unique<BoardSearchSession>(m_tools, view);
}

void BoardSearchDialog::OnCommand(int32_t id, int32_t) {
    if (!m_session)
        return;
    if (id == ToolDialogs::IDC_SEARCH_START)
        m_session->Start(GetCheck(ToolDialogs::IDC_SEARCH_ALL_PROTOCOLS),
                         GetCheck(ToolDialogs::IDC_SEARCH_ALL_LINE_SETTINGS));
    else if (id == ToolDialogs::IDC_SEARCH_CANCEL)
        m_session->Cancel();
    else if (id == ToolDialogs::IDC_SEARCH_USE || id == ToolDialogs::IDC_SEARCH_FOUND)
        UseChosen();
}

void BoardSearchDialog::UseChosen() {
    const auto row = static_cast<int32_t>(
        SendMessageW(Control(ToolDialogs::IDC_SEARCH_FOUND), LB_GETCURSEL, 0, 0));
    if (ToolDialogs::MayChoose(row, m_session->Running()) &&
        m_session->Choose(static_cast<size_t>(row)))
        End(IDOK);
}

void BoardSearchDialog::CancelTool() {
    if (m_session)
        m_session->Cancel();
}

void BoardSearchDialog::ClearFound() {
    SendMessageW(Control(ToolDialogs::IDC_SEARCH_FOUND), LB_RESETCONTENT, 0, 0);
}

void BoardSearchDialog::AddFound(const std::string& text) {
    const HWND found = Control(ToolDialogs::IDC_SEARCH_FOUND);
    SendMessageW(found, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
    if (SendMessageW(found, LB_GETCURSEL, 0, 0) == LB_ERR)
        SendMessageW(found, LB_SETCURSEL, 0, 0);
}

void BoardSearchDialog::SetFound(size_t row, const std::string& text) {
    const HWND found = Control(ToolDialogs::IDC_SEARCH_FOUND);
    const LRESULT chosen = SendMessageW(found, LB_GETCURSEL, 0, 0);
    SendMessageW(found, LB_DELETESTRING, row, 0);
    SendMessageW(found, LB_INSERTSTRING, row, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
    SendMessageW(found, LB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

void BoardSearchDialog::ShowProgress(int64_t done, int64_t total) {
    // Per mille, as the Qt face's bar counts.
    const HWND progress = Control(ToolDialogs::IDC_SEARCH_PROGRESS);
    SendMessageW(progress, PBM_SETRANGE32, 0, 1000);
    SendMessageW(progress, PBM_SETPOS, total > 0 ? static_cast<WPARAM>(done * 1000 / total) : 0, 0);
}

void BoardSearchDialog::ShowStatus(const std::string& text) {
    SetText(ToolDialogs::IDC_SEARCH_STATUS, text);
}
