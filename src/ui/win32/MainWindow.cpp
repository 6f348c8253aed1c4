#include "ui/win32/MainWindow.h"

#include <commctrl.h>
#include <tuple>

#include "comm/win32/WideText.h"
#include "dialog/IoButtonGrid.h"
#include "dialog/MainDlgIds.h"
#include "dialog/MainDlgTemplate.h"
#include "ui/win32/AboutDialog.h"
#include "ui/win32/DialogTemplate.h"
#include "ui/win32/Resources.h"

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboClass = 0x0085;
// A combo box's template height is that of its open list.
constexpr int16_t kComboListHeight = 120;

// The posted messages MainDialog knows; each carries a heap copy of its WindowMessage.
bool IsPostedMessage(UINT message) {
    switch (message) {
    case WM_LOG_SEND:
    case WM_LOG_RECV:
    case WM_DEVICE_STATE:
    case WM_DEVICE_LOG:
    case WM_DEVICE_COIL:
    case WM_DEVICE_INPUT:
    case WM_DEVICE_HEARTBEAT:
        return true;
    default:
        return false;
    }
}

COLORREF ToColorRef(Rgb colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

DialogTemplate MainTemplate() {
    DialogTemplate dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME,
                          MainDlgTemplate::kWidth, MainDlgTemplate::kHeight,
                          MainDlgTemplate::kCaption, L"宋体", 14);
    for (const DlgItem& item : MainDlgTemplate::kItems) {
        DWORD style = WS_CHILD | WS_VISIBLE | (item.tabStop ? WS_TABSTOP : 0);
        WORD windowClass = kButtonClass;
        int16_t height = static_cast<int16_t>(item.height);
        switch (item.kind) {
        case DlgItemKind::GroupBox:
            style |= BS_GROUPBOX;
            break;
        case DlgItemKind::Label:
            windowClass = kStaticClass;
            style |= WS_GROUP | SS_LEFT;
            break;
        case DlgItemKind::PushButton:
            style |= BS_PUSHBUTTON;
            break;
        case DlgItemKind::CheckBox:
            style |= BS_AUTOCHECKBOX;
            break;
        case DlgItemKind::Edit:
            windowClass = kEditClass;
            style |= WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
            break;
        case DlgItemKind::LogPane:
            windowClass = kEditClass;
            style |= WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
            break;
        case DlgItemKind::EditCombo:
        case DlgItemKind::ListCombo:
            windowClass = kComboClass;
            style |=
                WS_VSCROLL | (item.kind == DlgItemKind::EditCombo ? CBS_DROPDOWN | CBS_AUTOHSCROLL
                                                                  : CBS_DROPDOWNLIST);
            height = kComboListHeight;
            break;
        }
        dialog.AddControl(windowClass, style, item.id, static_cast<int16_t>(item.x),
                          static_cast<int16_t>(item.y), static_cast<int16_t>(item.width), height,
                          item.caption);
    }
    // The link statistics line, in the free strip below the log group box.
    dialog.AddControl(kStaticClass, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, IDC_LINK_STATS,
                      kLinkStatsRect[0], kLinkStatsRect[1], kLinkStatsRect[2], kLinkStatsRect[3],
                      "");
    return dialog;
}

PixelRect ClientRect(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

} // namespace

MainWindow::MainWindow()
    : m_hIcon(
          static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))),
      m_dialog(std::make_unique<MainDialog>(static_cast<IMainDialogView&>(*this))) {}

MainWindow::~MainWindow() {
    // The dialog goes first: its Device's last disconnect may still talk to this view.
    m_dialog.reset();
    if (m_hIcon != nullptr)
        DestroyIcon(m_hIcon);
}

INT_PTR MainWindow::DoModal() {
    const DialogTemplate dialog = MainTemplate();
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MainWindow*>(lParam);
        self->m_hWnd = hWnd;
        self->OnInitDialog();
        // Only now do clicks, ticks and menu commands reach the window's behaviour: one
        // that comes while the start-up runs gets the default handling.
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    return self == nullptr ? FALSE : self->HandleMessage(message, wParam, lParam);
}

INT_PTR MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsPostedMessage(message)) {
        // A message of that number sent by another program carries no copy.
        const std::unique_ptr<WindowMessage> posted(reinterpret_cast<WindowMessage*>(lParam));
        if (posted)
            m_dialog->OnPosted(*posted);
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        m_dialog->OnTimer(static_cast<int32_t>(wParam));
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (ColorButton* button = IoButton(static_cast<int32_t>(item->CtlID))) {
            button->DrawItem(*item);
            return TRUE;
        }
        return FALSE;
    }
    case WM_SYSCOMMAND:
        for (const MenuEntry& entry : m_dialog->MenuEntries()) {
            if ((wParam & 0xFFF0) == static_cast<WPARAM>(entry.command)) {
                m_dialog->OnMenuCommand(entry.command);
                return TRUE;
            }
        }
        return FALSE;
    case WM_HELP: // F1
        m_dialog->OnMenuCommand(IDM_ABOUTBOX);
        return TRUE;
    case WM_DESTROY:
        DropPendingPosts();
        return FALSE;
    default:
        return FALSE;
    }
}

void MainWindow::OnInitDialog() {
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        const std::vector<MenuEntry> entries = m_dialog->MenuEntries();
        if (!entries.empty())
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        for (const MenuEntry& entry : entries) {
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(entry.command),
                        WideFromUtf8(entry.text).c_str());
        }
    }
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    for (int32_t pane : {IDC_SEND_LOG, IDC_RECV_LOG})
        SendMessageW(Item(pane), EM_SETLIMITTEXT, 0, 0); // no limit but memory's
    CreateIoButtons();
    m_dialog->OnInitDialog();
}

void MainWindow::OnCommand(int32_t id, int32_t code) {
    if (id == IDOK) {
        m_dialog->OnOK();
        return;
    }
    if (id == IDCANCEL) {
        m_dialog->OnCancel();
        return;
    }
    if (id == IDC_ADDRESS_COMBO) {
        if (code == CBN_EDITCHANGE)
            m_typedCombos.insert(id);
        else if (code == CBN_SELCHANGE)
            m_typedCombos.erase(id);
        if (code == CBN_EDITCHANGE || code == CBN_SELENDOK)
            m_dialog->OnComboChange(id);
        return;
    }
    if (code == CBN_EDITCHANGE)
        m_typedCombos.insert(id);
    else if (code == CBN_SELCHANGE)
        m_typedCombos.erase(id);
    // A double-click on a coil comes as one BN_CLICKED and one BN_DOUBLECLICKED: one write.
    if (code == BN_CLICKED)
        m_dialog->OnCommand(id);
}

void MainWindow::CreateIoButtons() {
    const HWND inputBox = Item(IDC_GROUP_INPUTS);
    const HWND coilBox = Item(IDC_GROUP_COILS);
    if (inputBox == nullptr || coilBox == nullptr)
        return;
    const IoButtonGrid grid(ClientRect(m_hWnd, inputBox));
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    for (const auto& [box, firstId, buttons] :
         {std::tuple{inputBox, IDC_INPUT_BASE, &m_inputButtons},
          std::tuple{coilBox, IDC_COIL_BASE, &m_coilButtons}}) {
        const PixelRect boxRect = ClientRect(m_hWnd, box);
        for (int32_t i = 0; i < kIoPointCount; ++i) {
            const PixelRect cell = grid.Cell(boxRect, i);
            const RECT rect{cell.x, cell.y, cell.x + cell.width, cell.y + cell.height};
            ColorButton& button = (*buttons)[static_cast<size_t>(i)];
            if (!button.Create(m_hWnd, firstId + i, rect, L""))
                continue;
            SendMessageW(button.Window(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            button.SetCornerRadius(3);
        }
    }
}

ColorButton* MainWindow::IoButton(int32_t id) {
    if (id >= IDC_INPUT_BASE && id < IDC_INPUT_BASE + kIoPointCount)
        return &m_inputButtons[static_cast<size_t>(id - IDC_INPUT_BASE)];
    if (id >= IDC_COIL_BASE && id < IDC_COIL_BASE + kIoPointCount)
        return &m_coilButtons[static_cast<size_t>(id - IDC_COIL_BASE)];
    return nullptr;
}

void MainWindow::DropPendingPosts() {
    // Messages still queued for a window that goes away carry heap copies: free them.
    MSG pending;
    while (PeekMessageW(&pending, m_hWnd, WM_LOG_SEND, WM_DEVICE_HEARTBEAT, PM_REMOVE)) {
        if (IsPostedMessage(pending.message))
            delete reinterpret_cast<WindowMessage*>(pending.lParam);
    }
}

void MainWindow::SetTitle(const std::string& text) {
    SetWindowTextW(m_hWnd, WideFromUtf8(text).c_str());
}

void MainWindow::SetText(int32_t id, const std::string& text) {
    SetWindowTextW(Item(id), WideFromUtf8(text).c_str());
}

std::string MainWindow::GetText(int32_t id) {
    const HWND control = Item(id);
    const int length = GetWindowTextLengthW(control);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return Utf8FromWide(text);
}

void MainWindow::SetCheck(int32_t id, bool checked) {
    CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool MainWindow::GetCheck(int32_t id) {
    return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}

void MainWindow::Enable(int32_t id, bool enabled) {
    EnableWindow(Item(id), enabled ? TRUE : FALSE);
}

void MainWindow::SetComboItems(int32_t id, const std::vector<std::string>& items) {
    const HWND combo = Item(id);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(item).c_str()));
    }
    m_typedCombos.erase(id);
}

void MainWindow::SelectComboItem(int32_t id, int32_t index) {
    SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    m_typedCombos.erase(id);
}

int32_t MainWindow::GetComboSelection(int32_t id) {
    if (m_typedCombos.count(id) != 0)
        return -1;
    return static_cast<int32_t>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
}

void MainWindow::SetButtonLook(int32_t id, const std::string& caption, Rgb background, Rgb text) {
    ColorButton* button = IoButton(id);
    if (button == nullptr || button->Window() == nullptr)
        return;
    SetWindowTextW(button->Window(), WideFromUtf8(caption).c_str());
    // The same pair for every look: a button that shows a state keeps it under the mouse.
    button->SetNormalColors(ToColorRef(background), ToColorRef(text));
    button->SetHoverColors(ToColorRef(background), ToColorRef(text));
    button->SetPressedColors(ToColorRef(background), ToColorRef(text));
}

void MainWindow::AppendLine(int32_t paneId, const std::string& line) {
    const HWND pane = Item(paneId);
    const std::wstring text = WideFromUtf8(line) + L"\r\n";
    const LRESULT end = GetWindowTextLengthW(pane);
    SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(pane, EM_SCROLLCARET, 0, 0);
}

void MainWindow::DropOldestLines(int32_t paneId, int32_t count) {
    const HWND pane = Item(paneId);
    const LRESULT cut = SendMessageW(pane, EM_LINEINDEX, static_cast<WPARAM>(count), 0);
    if (cut <= 0)
        return;
    const LRESULT end = GetWindowTextLengthW(pane);
    SendMessageW(pane, EM_SETSEL, 0, cut);
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(end - cut), end - cut);
    SendMessageW(pane, EM_SCROLLCARET, 0, 0);
}

void MainWindow::StartTimer(int32_t timerId, int32_t intervalMs) {
    SetTimer(m_hWnd, static_cast<UINT_PTR>(timerId), static_cast<UINT>(intervalMs), nullptr);
}

void MainWindow::StopTimer(int32_t timerId) {
    KillTimer(m_hWnd, static_cast<UINT_PTR>(timerId));
}

void MainWindow::Post(const WindowMessage& message) {
    auto copy = std::make_unique<WindowMessage>(message);
    if (PostMessageW(m_hWnd, message.message, static_cast<WPARAM>(message.wParam),
                     reinterpret_cast<LPARAM>(copy.get()))) {
        copy.release(); // the handler owns it now
    }
}

void MainWindow::ShowAboutBox(const AboutBoxTexts& texts) {
    AboutDialog(texts).DoModal(m_hWnd);
}

void MainWindow::Close() {
    EndDialog(m_hWnd, IDCANCEL);
}
