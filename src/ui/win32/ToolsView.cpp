#include "ui/win32/ToolsView.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "comm/win32/WideText.h"
#include "dialog/ToolDialogs.h"
#include "ui/win32/BoardSearchDialog.h"
#include "ui/win32/DescribedDialog.h"
#include "ui/win32/SelfTestDialog.h"

namespace {

// "通信参数": OK closes the form only when the layer accepts what was typed; otherwise the
// form says what is wrong and stays.
class LinkParametersDialog : public DescribedDialog {
public:
    LinkParametersDialog(LinkParameterTexts& texts,
                         const std::function<std::string(const LinkParameterTexts&)>& check)
        : DescribedDialog(ToolDialogs::LinkParameters()), m_texts(texts), m_check(check) {}

private:
    void OnInit() override {
        SetText(ToolDialogs::IDC_LINK_RECEIVE_TIMEOUT, m_texts.receiveTimeout);
        SetText(ToolDialogs::IDC_LINK_RETRY_COUNT, m_texts.retryCount);
        SetText(ToolDialogs::IDC_LINK_HEARTBEAT_TIMEOUT, m_texts.heartbeatTimeout);
        SetTextColour(ToolDialogs::IDC_LINK_PROBLEM, Rgb{192, 0, 0});
    }
    void OnCommand(int32_t id, int32_t) override {
        if (id != ToolDialogs::IDC_OK)
            return;
        const LinkParameterTexts typed{GetText(ToolDialogs::IDC_LINK_RECEIVE_TIMEOUT),
                                       GetText(ToolDialogs::IDC_LINK_RETRY_COUNT),
                                       GetText(ToolDialogs::IDC_LINK_HEARTBEAT_TIMEOUT)};
        const std::string error = m_check(typed);
        SetText(ToolDialogs::IDC_LINK_PROBLEM, error);
        if (error.empty()) {
            m_texts = typed;
            End(IDOK);
        }
    }

    LinkParameterTexts& m_texts;
    const std::function<std::string(const LinkParameterTexts&)>& m_check;
};

} // namespace

bool ToolsView::OpenFolder(const std::string& path) {
    // ShellExecute reports success with a value above 32.
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        m_owner, L"open", WideFromUtf8(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

std::string ToolsView::AskSaveFileName(const std::string& suggestedName) {
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring name = WideFromUtf8(suggestedName);
    name.copy(file.data(), std::min(name.size(), file.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_owner;
    dialog.lpstrFilter = L"文本文件 (*.txt)\0*.txt\0所有文件 (*.*)\0*.*\0";
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = L"保存日志";
    dialog.lpstrDefExt = L"txt";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog))
        return {};
    return Utf8FromWide(file.data());
}

bool ToolsView::AskLinkParameters(
    LinkParameterTexts& texts, const std::function<std::string(const LinkParameterTexts&)>& check) {
    LinkParametersDialog form(texts, check);
    return form.DoModal(m_owner) == IDOK;
}

void ToolsView::ShowMessage(const std::string& title, const std::string& text) {
    MessageBoxW(m_owner, WideFromUtf8(text).c_str(), WideFromUtf8(title).c_str(),
                MB_OK | MB_ICONWARNING);
}

bool ToolsView::AskConfirmation(const std::string& title, const std::string& text) {
    return MessageBoxW(m_owner, WideFromUtf8(text).c_str(), WideFromUtf8(title).c_str(),
                       MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) == IDOK;
}

void ToolsView::ShowSelfTest(MainDialog& dialog, bool& loopbackChoice) {
    SelfTestDialog(dialog, loopbackChoice).DoModal(m_owner);
}

void ToolsView::ShowBoardSearch(WindowTools& tools) {
    BoardSearchDialog(tools).DoModal(m_owner);
}
