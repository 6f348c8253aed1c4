#include "ui/win32/MainWindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "comm/win32/WideText.h"
#include "dialog/DialogScale.h"
#include "dialog/IniSettingsStore.h"
#include "dialog/IoButtonGrid.h"
#include "dialog/MainDlgIds.h"
#include "dialog/MainDlgTemplate.h"
#include "dialog/UserFolders.h"
#include "dialog/WindowTools.h"
#include "ui/win32/AboutDialog.h"
#include "ui/win32/DialogTemplate.h"
#include "ui/win32/Resources.h"
#include "ui/win32/TimelineWindow.h"
#include "ui/win32/ToolsView.h"

// Windows 8.1's message; older headers lack it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboClass = 0x0085;
// A combo box's template height is that of its open list.
constexpr int16_t kComboListHeight = 120;

// A task posted to the window; lParam owns a heap std::function<void()>.
constexpr UINT WM_POSTED_TASK = WM_APP + 1;
using PostedTask = std::function<void()>;

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

// The DPI of the window (per monitor where Windows tells it), else the system's.
int32_t WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr && window != nullptr) {
        if (const UINT dpi = getDpi(window))
            return static_cast<int32_t>(dpi);
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

RECT WorkAreaOf(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

HFONT DialogFont(int32_t pixels) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"宋体");
}

// The width in pixels a control of this kind needs to show caption whole in the font
// selected into dc: the text plus the check box's box, the group box's indent or the
// button's bevel.
int32_t CaptionWidthNeeded(HDC dc, DlgItemKind kind, const std::wstring& caption, int32_t dpi) {
    SIZE text{0, 0};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    switch (kind) {
    case DlgItemKind::CheckBox:
        return text.cx + MulDiv(13 + 6, dpi, 96);
    case DlgItemKind::Label:
        return text.cx;
    case DlgItemKind::GroupBox:
        return text.cx + MulDiv(16, dpi, 96);
    case DlgItemKind::PushButton:
        return text.cx + MulDiv(8, dpi, 96);
    default:
        return 0;
    }
}

// Whether every caption of the template fits its control at scale in a font of pixels.
bool CaptionsFit(HDC dc, const DialogScale& scale, int32_t pixels, double* neededScaleX) {
    const HFONT font = DialogFont(pixels);
    const HGDIOBJ old = SelectObject(dc, font);
    bool fits = true;
    for (const DlgItem& item : MainDlgTemplate::kItems) {
        if (item.caption[0] == '\0' || item.width <= 0)
            continue;
        const int32_t needed =
            CaptionWidthNeeded(dc, item.kind, WideFromUtf8(item.caption), scale.Dpi());
        if (needed > scale.ToPixelsX(item.width))
            fits = false;
        if (neededScaleX != nullptr) {
            *neededScaleX =
                std::max(*neededScaleX,
                         double(needed) / DialogScale(1.0, 1.0, scale.Dpi()).ToPixelsX(item.width));
        }
    }
    SelectObject(dc, old);
    DeleteObject(font);
    return fits;
}

PixelRect ClientRect(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

} // namespace

MainWindow::Storage MainWindow::Storage::ForUser() {
    Storage storage;
    const std::string settingsFolder = UserFolders::SettingsFolder();
    if (!settingsFolder.empty())
        storage.settingsFile = settingsFolder + "\\vornak.ini";
    storage.logFolder = UserFolders::SessionLogFolder();
    return storage;
}

MainWindow::MainWindow(const Storage& storage)
    : m_hIcon(
          static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))),
      m_dialog(std::make_unique<MainDialog>(static_cast<IMainDialogView&>(*this))) {
    if (!storage.settingsFile.empty()) {
        m_store = std::make_unique<IniSettingsStore>(storage.settingsFile);
        m_store->Load(); // no file yet: the defaults
        m_toolsView = std::make_unique<ToolsView>();
        IMainDialogView& view = *this;
        m_tools = std::make_unique<WindowTools>(*m_dialog, view, *m_toolsView, *m_store,
                                                storage.logFolder);
        m_dialog->SetTools(m_tools.get());
    }
}

MainWindow::~MainWindow() {
    ReleaseDialog();
    if (m_hIcon != nullptr)
        DestroyIcon(m_hIcon);
    if (m_font != nullptr)
        DeleteObject(m_font);
}

// The tools go first (their session log is written out), then the dialog, whose worker ends
// there: its Device's last disconnect may still post to this view. Once is enough.
void MainWindow::ReleaseDialog() {
    // The timeline shows the dialog's history: it goes first.
    m_timeline.reset();
    if (m_tools && m_dialog) {
        m_dialog->SetTools(nullptr);
        m_tools.reset();
    }
    m_dialog.reset();
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
    if (!m_dialog)
        return FALSE; // the window is being destroyed
    if (message == WM_POSTED_TASK) {
        const std::unique_ptr<PostedTask> task(reinterpret_cast<PostedTask*>(lParam));
        if (task)
            (*task)();
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
            if (entry.command != 0 && (wParam & 0xFFF0) == static_cast<WPARAM>(entry.command)) {
                m_dialog->OnMenuCommand(entry.command);
                return TRUE;
            }
        }
        return FALSE;
    case WM_CONTEXTMENU:
        // Edits and combo boxes keep their own menus; the rest of the window offers this one.
        ShowContextMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return TRUE;
    case WM_DPICHANGED: {
        // Moved to a monitor of another DPI (or its DPI changed): fit that monitor anew.
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        FitToScreen(HIWORD(wParam),
                    WorkAreaOf(MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST)));
        return TRUE;
    }
    case WM_HELP: // F1
        m_dialog->OnMenuCommand(IDM_ABOUTBOX);
        return TRUE;
    case WM_DESTROY:
        // The worker ends with the dialog, so nothing is posted after the queue is emptied.
        ReleaseDialog();
        DropPendingPosts();
        return FALSE;
    default:
        return FALSE;
    }
}

void MainWindow::OnInitDialog() {
    if (m_toolsView)
        m_toolsView->SetOwner(m_hWnd);
    if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        const std::vector<MenuEntry> entries = m_dialog->MenuEntries();
        if (!entries.empty())
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        for (const MenuEntry& entry : entries) {
            if (entry.command == 0)
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            else
                AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(entry.command),
                            WideFromUtf8(entry.text).c_str());
        }
    }
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    for (int32_t pane : {IDC_SEND_LOG, IDC_RECV_LOG})
        SendMessageW(Item(pane), EM_SETLIMITTEXT, 0, 0); // no limit but memory's
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        m_templateControls.push_back(child);
    CreateIoButtons();
    FitToScreen(WindowDpi(m_hWnd), WorkAreaOf(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST)));
    m_dialog->OnInitDialog();
}

void MainWindow::FitToScreen(int32_t dpi, const RECT& workArea) {
    const int32_t availableWidth = workArea.right - workArea.left;
    const int32_t availableHeight = workArea.bottom - workArea.top;
    RECT frame{0, 0, 0, 0}; // what title bar and borders add to the client area
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)));
    DialogScale scale =
        DialogScale::Fit(MainDlgTemplate::kWidth, MainDlgTemplate::kHeight, availableWidth,
                         availableHeight, dpi, frame.right - frame.left, frame.bottom - frame.top);
    const HDC dc = GetDC(m_hWnd);
    // One scale for both directions where the captions allow it; a caption that would not
    // fit even in the smallest font widens the dialog as far as the work area allows.
    double scaleX = std::min(scale.ScaleX(), scale.ScaleY());
    CaptionsFit(dc, scale, scale.MinTextPixels(), &scaleX);
    scale = scale.WithScaleX(std::min(scaleX, scale.ScaleX()));
    int32_t pixels = std::max<int32_t>(scale.MinTextPixels(),
                                       static_cast<int32_t>(std::lround(scale.EmPixels())));
    while (pixels > scale.MinTextPixels() && !CaptionsFit(dc, scale, pixels, nullptr))
        --pixels;
    ReleaseDC(m_hWnd, dc);

    if (m_font != nullptr)
        DeleteObject(m_font);
    m_font = DialogFont(pixels);
    // The template's controls, if the dialog manager made them all, at their units.
    if (m_templateControls.size() == MainDlgTemplate::kItems.size() + 1) {
        for (size_t i = 0; i < m_templateControls.size(); ++i) {
            const bool isStats = i == MainDlgTemplate::kItems.size();
            const DlgItem item = isStats ? DlgItem{IDC_LINK_STATS,
                                                   DlgItemKind::Label,
                                                   "",
                                                   kLinkStatsRect[0],
                                                   kLinkStatsRect[1],
                                                   kLinkStatsRect[2],
                                                   kLinkStatsRect[3],
                                                   false}
                                         : MainDlgTemplate::kItems[i];
            const bool combo =
                item.kind == DlgItemKind::EditCombo || item.kind == DlgItemKind::ListCombo;
            MoveWindow(m_templateControls[i], scale.ToPixelsX(item.x), scale.ToPixelsY(item.y),
                       scale.ToPixelsX(item.width),
                       scale.ToPixelsY(combo ? kComboListHeight : item.height), FALSE);
            SendMessageW(m_templateControls[i], WM_SETFONT, reinterpret_cast<WPARAM>(m_font),
                         FALSE);
        }
    }
    PlaceIoButtons();

    const int width = scale.ToPixelsX(MainDlgTemplate::kWidth) + frame.right - frame.left;
    const int height = scale.ToPixelsY(MainDlgTemplate::kHeight) + frame.bottom - frame.top;
    const int left = std::max<int>(workArea.left, workArea.left + (availableWidth - width) / 2);
    const int top = std::max<int>(workArea.top, workArea.top + (availableHeight - height) / 2);
    SetWindowPos(m_hWnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(m_hWnd, nullptr, TRUE);
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
    for (const auto& [firstId, buttons] :
         {std::pair{IDC_INPUT_BASE, &m_inputButtons}, std::pair{IDC_COIL_BASE, &m_coilButtons}}) {
        for (int32_t i = 0; i < kIoPointCount; ++i) {
            ColorButton& button = (*buttons)[static_cast<size_t>(i)];
            if (button.Create(m_hWnd, firstId + i, RECT{0, 0, 0, 0}, L""))
                button.SetCornerRadius(3);
        }
    }
}

void MainWindow::PlaceIoButtons() {
    const HWND inputBox = Item(IDC_GROUP_INPUTS);
    const HWND coilBox = Item(IDC_GROUP_COILS);
    if (inputBox == nullptr || coilBox == nullptr)
        return;
    const IoButtonGrid grid(ClientRect(m_hWnd, inputBox));
    for (const auto& [box, buttons] :
         {std::pair{inputBox, &m_inputButtons}, std::pair{coilBox, &m_coilButtons}}) {
        const PixelRect boxRect = ClientRect(m_hWnd, box);
        for (int32_t i = 0; i < kIoPointCount; ++i) {
            const HWND button = (*buttons)[static_cast<size_t>(i)].Window();
            if (button == nullptr)
                continue;
            const PixelRect cell = grid.Cell(boxRect, i);
            MoveWindow(button, cell.x, cell.y, cell.width, cell.height, FALSE);
            SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
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

void MainWindow::ShowContextMenu(int x, int y) {
    if (x == -1 && y == -1) { // from the keyboard: at the window's top left
        POINT origin{0, 0};
        ClientToScreen(m_hWnd, &origin);
        x = origin.x;
        y = origin.y;
    }
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return;
    for (const MenuEntry& entry : m_dialog->MenuEntries()) {
        if (entry.command == 0)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(entry.command),
                        WideFromUtf8(entry.text).c_str());
    }
    const auto command = static_cast<int32_t>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, m_hWnd, nullptr));
    DestroyMenu(menu);
    if (command != 0)
        m_dialog->OnMenuCommand(command);
}

void MainWindow::DropPendingPosts() {
    // Tasks still queued for a window that goes away are heap objects: free them.
    MSG pending;
    while (PeekMessageW(&pending, m_hWnd, WM_POSTED_TASK, WM_POSTED_TASK, PM_REMOVE))
        delete reinterpret_cast<PostedTask*>(pending.lParam);
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

// Any thread: PostMessageW is the one call of a window that other threads may make.
void MainWindow::Post(std::function<void()> task) {
    auto owned = std::make_unique<PostedTask>(std::move(task));
    if (PostMessageW(m_hWnd, WM_POSTED_TASK, 0, reinterpret_cast<LPARAM>(owned.get())))
        owned.release(); // the handler owns it now
}

void MainWindow::ShowAboutBox(const AboutBoxTexts& texts) {
    AboutDialog(texts).DoModal(m_hWnd);
}

void MainWindow::ShowTimeline() {
    if (!m_timeline)
        m_timeline = std::make_unique<TimelineWindow>(*m_dialog);
    m_timeline->Show(m_hWnd);
}

void MainWindow::Close() {
    EndDialog(m_hWnd, IDCANCEL);
}
