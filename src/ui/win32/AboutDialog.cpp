#include "ui/win32/AboutDialog.h"

#include "ui/win32/DialogTemplate.h"
#include "ui/win32/Resources.h"

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

INT_PTR CALLBACK AboutProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void AboutDialog::DoModal(HWND owner) const {
    DialogTemplate box(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 170, 62, m_texts.caption,
                       L"宋体", 14);
    box.AddIcon(-1, 14, 14, 13, 13, IDR_MAINFRAME);
    box.AddControl(kStaticClass, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | WS_GROUP, -1, 42,
                   14, 114, 8, m_texts.versionLine);
    box.AddControl(kStaticClass, WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP, -1, 42, 26, 114, 8,
                   m_texts.copyrightLine);
    box.AddControl(kButtonClass, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP,
                   IDOK, 113, 41, 50, 14, m_texts.okButton);
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), box.Get(), owner, AboutProc, 0);
}
