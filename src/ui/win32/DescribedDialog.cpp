#include "ui/win32/DescribedDialog.h"

#include <algorithm>
#include <commctrl.h>
#include <cstring>
#include <utility>

#include "comm/win32/WideText.h"
#include "ui/win32/DialogTemplate.h"
#include "ui/win32/Resources.h"

// Windows 8.1's message; older headers lack it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

// The template's font: 宋体 10 pt.
constexpr int kFontPoints = 10;

constexpr int32_t kGridColumns = 8;
constexpr int32_t kGridRows = 4;
constexpr int kCellGap = 2;

// The dialog's font metrics every size is made of: a line's height and an em (the width of
// a CJK character).
struct Metrics {
    int line = 16;
    int em = 16;
};

SIZE TextExtent(HDC dc, const std::wstring& text) {
    SIZE size{0, 0};
    if (!text.empty())
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

Metrics Measure(HDC dc) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    Metrics m;
    m.line = std::max<int>(tm.tmHeight, 8);
    m.em = std::max<int>(TextExtent(dc, L"\u4E2D").cx, tm.tmAveCharWidth * 2);
    return m;
}

SIZE CellSize(HDC dc, const Metrics& m) {
    return {TextExtent(dc, L"000").cx + m.em / 2, m.line + m.line / 3};
}

RECT WorkArea(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

} // namespace

DescribedDialog::DescribedDialog(DialogDescription description)
    : m_description(std::move(description)) {}

DescribedDialog::~DescribedDialog() {
    for (const auto& [colour, brush] : m_brushes)
        DeleteObject(brush);
    if (m_icon != nullptr)
        DestroyIcon(m_icon);
    if (m_font != nullptr)
        DeleteObject(m_font);
}

INT_PTR DescribedDialog::DoModal(HWND owner) {
    m_owner = owner;
    const DialogTemplate empty(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 100, 50,
                               m_description.caption, L"宋体", kFontPoints);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), empty.Get(), owner, Proc,
                                   reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DescribedDialog::Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DescribedDialog*>(lParam);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        self->CreateControls();
        self->Layout(nullptr);
        self->OnInit();
        return TRUE;
    }
    auto* self = reinterpret_cast<DescribedDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    return self == nullptr ? FALSE : self->Handle(message, wParam, lParam);
}

INT_PTR DescribedDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const auto id = static_cast<int32_t>(LOWORD(wParam));
        const auto code = static_cast<int32_t>(HIWORD(wParam));
        if (id == IDCANCEL) { // Esc, the close box or a Cancel button
            if (DialogDescription::EscapeCloses(ToolRunning()))
                End(IDCANCEL);
            else
                CancelTool();
            return TRUE;
        }
        if (id == IDOK && Control(IDOK) == nullptr)
            return TRUE; // Enter with no default button
        if (code == BN_CLICKED || code == LBN_DBLCLK)
            OnCommand(id, code);
        return TRUE;
    }
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_DPICHANGED:
        // On a monitor of another DPI: the same font in points at that DPI, every control
        // measured and placed again, at the place Windows suggests.
        ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    case WM_CTLCOLORSTATIC: {
        const auto control = reinterpret_cast<HWND>(lParam);
        const auto dc = reinterpret_cast<HDC>(wParam);
        const auto cell = m_cellColours.find(control);
        if (cell != m_cellColours.end()) {
            SetBkColor(dc, cell->second);
            SetTextColor(dc, RGB(0, 0, 0));
            return reinterpret_cast<INT_PTR>(Brush(cell->second));
        }
        const auto text = m_textColours.find(GetDlgCtrlID(control));
        if (text != m_textColours.end()) {
            SetTextColor(dc, text->second);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
        }
        return FALSE;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            info->lpszText = nullptr;
            if ((info->uFlags & TTF_IDISHWND) != 0) {
                const auto tip = m_cellTips.find(reinterpret_cast<HWND>(header->idFrom));
                if (tip != m_cellTips.end())
                    info->lpszText = const_cast<wchar_t*>(tip->second.c_str());
            } else {
                const auto tip = m_controlTips.find(static_cast<int32_t>(header->idFrom));
                if (tip != m_controlTips.end() && !tip->second.empty())
                    info->lpszText = const_cast<wchar_t*>(tip->second.c_str());
            }
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void DescribedDialog::OnCommand(int32_t, int32_t) {}

void DescribedDialog::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto font = reinterpret_cast<WPARAM>(Font());
    auto make = [&](DWORD exStyle, const wchar_t* windowClass, const std::string& text, DWORD style,
                    int32_t id) {
        const HWND control = CreateWindowExW(
            exStyle, windowClass, WideFromUtf8(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
            0, 0, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, font, FALSE);
        return control;
    };
    m_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd,
                             nullptr, instance, nullptr);
    for (const DialogRow& row : m_description.rows) {
        for (const DialogControl& c : row.controls) {
            HWND control = nullptr;
            switch (c.kind) {
            case DialogControlKind::Text:
                control = make(0, L"STATIC", c.text, SS_LEFT | SS_NOPREFIX, c.id);
                break;
            case DialogControlKind::Edit:
                control =
                    make(WS_EX_CLIENTEDGE, L"EDIT", c.text, WS_TABSTOP | ES_AUTOHSCROLL, c.id);
                break;
            case DialogControlKind::CheckBox:
                control = make(0, L"BUTTON", c.text, WS_TABSTOP | BS_AUTOCHECKBOX, c.id);
                break;
            case DialogControlKind::Button:
                control = make(0, L"BUTTON", c.text,
                               WS_TABSTOP | (c.id == m_description.defaultButton ? BS_DEFPUSHBUTTON
                                                                                 : BS_PUSHBUTTON),
                               c.id);
                break;
            case DialogControlKind::List:
                control = make(WS_EX_CLIENTEDGE, L"LISTBOX", c.text,
                               WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, c.id);
                break;
            case DialogControlKind::Progress:
                control = make(0, PROGRESS_CLASSW, c.text, 0, c.id);
                break;
            case DialogControlKind::PointGrid: {
                Grid grid;
                grid.frame = make(0, L"BUTTON", c.text, BS_GROUPBOX, c.id);
                for (int32_t i = 0; i < kGridColumns * kGridRows; ++i) {
                    const HWND cell = make(0, L"STATIC", std::to_string(i),
                                           SS_CENTER | SS_CENTERIMAGE | SS_NOTIFY, 0);
                    grid.cells[static_cast<size_t>(i)] = cell;
                    TTTOOLINFOW tool{};
                    tool.cbSize = sizeof tool;
                    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
                    tool.hwnd = m_hWnd;
                    tool.uId = reinterpret_cast<UINT_PTR>(cell);
                    tool.lpszText = LPSTR_TEXTCALLBACKW;
                    SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
                }
                m_grids[c.id] = grid;
                control = grid.frame;
                break;
            }
            case DialogControlKind::Icon:
                control = make(0, L"STATIC", "", SS_ICON, c.id);
                m_icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                       GetSystemMetrics(SM_CYICON), 0));
                SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(m_icon), 0);
                break;
            }
            m_ordered.push_back(control);
            if (c.id > 0)
                m_controls[c.id] = control;
        }
    }
}

SIZE DescribedDialog::Natural(const DialogControl& c, HDC dc) const {
    const Metrics m = Measure(dc);
    const SIZE text = TextExtent(dc, WideFromUtf8(c.text));
    switch (c.kind) {
    case DialogControlKind::Text:
        // A line filled in later (a verdict, a status) may wrap: room for two.
        return {text.cx + 2, c.percent > 0 && c.text.empty() ? 2 * m.line : m.line};
    case DialogControlKind::Edit:
        return {6 * m.em, m.line + m.line / 2};
    case DialogControlKind::CheckBox:
        return {text.cx + GetSystemMetrics(SM_CXMENUCHECK) + m.em / 2, m.line + m.line / 4};
    case DialogControlKind::Button:
        return {std::max<LONG>(text.cx + m.em * 3 / 2, 4 * m.em), m.line * 7 / 4};
    case DialogControlKind::List:
        return {22 * m.em, 8 * m.line};
    case DialogControlKind::Progress:
        return {20 * m.em, m.line * 3 / 4};
    case DialogControlKind::PointGrid: {
        const SIZE cell = CellSize(dc, m);
        return {kGridColumns * cell.cx + (kGridColumns - 1) * kCellGap + m.em,
                m.line + kGridRows * cell.cy + (kGridRows - 1) * kCellGap + m.line / 2};
    }
    case DialogControlKind::Icon:
        return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    }
    return {0, 0};
}

HFONT DescribedDialog::Font() const {
    return m_font != nullptr ? m_font
                             : reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
}

void DescribedDialog::ChangeDpi(int dpi, const RECT& suggested) {
    const HFONT font = CreateFontW(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                   FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    if (font == nullptr)
        return;
    for (HWND control : m_ordered)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const auto& [id, grid] : m_grids) {
        for (HWND cell : grid.cells)
            SendMessageW(cell, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (m_font != nullptr)
        DeleteObject(m_font);
    m_font = font;
    Layout(&suggested);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void DescribedDialog::Layout(const RECT* suggested) {
    const HDC dc = GetDC(m_hWnd);
    const HGDIOBJ old = SelectObject(dc, Font());
    const Metrics m = Measure(dc);
    const int margin = m.em * 2 / 3;
    const int gap = m.em / 3;
    const int rowGap = m.line / 3;

    // The widest row at its natural widths sets the dialog's inner width.
    int inner = m_description.minWidthEm * m.em;
    for (const DialogRow& row : m_description.rows) {
        int width = 0;
        for (const DialogControl& c : row.controls)
            width += Natural(c, dc).cx;
        width += gap * static_cast<int>(row.controls.size() - 1);
        inner = std::max(inner, width);
    }
    int y = margin;
    size_t placed = 0;
    for (const DialogRow& row : m_description.rows) {
        int fixed = gap * static_cast<int>(row.controls.size() - 1);
        int percents = 0;
        int height = 0;
        for (const DialogControl& c : row.controls) {
            const SIZE natural = Natural(c, dc);
            height = std::max<int>(height, natural.cy);
            if (c.percent > 0)
                percents += c.percent;
            else
                fixed += natural.cx;
        }
        const int free = std::max(inner - fixed, 0);
        int x = margin + (row.alignRight && percents == 0 ? inner - fixed : 0);
        for (const DialogControl& c : row.controls) {
            const SIZE natural = Natural(c, dc);
            const int width = c.percent > 0 ? free * c.percent / percents : natural.cx;
            const int top = y + (height - natural.cy) / 2;
            if (placed < m_ordered.size())
                MoveWindow(m_ordered[placed++], x, top, width, natural.cy, FALSE);
            const auto grid = m_grids.find(c.id);
            if (grid != m_grids.end())
                PlaceGrid(grid->second, {x, top, x + width, top + natural.cy});
            x += width + gap;
        }
        y += height + rowGap;
    }
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);

    // The client area around the rows; the window centred over its owner, inside the work area.
    RECT frame{0, 0, inner + 2 * margin, y - rowGap + margin};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // Centred over the owner at first; after a DPI change where Windows suggests, on the
    // monitor it suggests.
    RECT work{};
    RECT around{};
    if (suggested != nullptr) {
        work = WorkArea(MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST));
        around = {suggested->left, suggested->top, suggested->left + width,
                  suggested->top + height};
    } else {
        const HWND owner = m_owner;
        work = WorkArea(owner != nullptr ? MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                                         : MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
        around = work;
        if (owner != nullptr)
            GetWindowRect(owner, &around);
    }
    int left = (around.left + around.right - width) / 2;
    int top = (around.top + around.bottom - height) / 2;
    left = std::max<int>(work.left, std::min<int>(left, work.right - width));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    SetWindowPos(m_hWnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveTipAreas();
}

void DescribedDialog::MoveTipAreas() {
    for (const auto& [id, tip] : m_controlTips) {
        const HWND control = Control(id);
        if (control == nullptr)
            continue;
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = m_hWnd;
        tool.uId = static_cast<UINT_PTR>(id);
        GetWindowRect(control, &tool.rect);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&tool.rect), 2);
        SendMessageW(m_tips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void DescribedDialog::PlaceGrid(const Grid& grid, RECT frame) {
    const HDC dc = GetDC(m_hWnd);
    const HGDIOBJ old = SelectObject(dc, Font());
    const Metrics m = Measure(dc);
    const SIZE cell = CellSize(dc, m);
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
    const int left = frame.left + m.em / 2;
    const int top = frame.top + m.line;
    // The cells share the frame's width, as wide as their text needs at least.
    const int width = std::max<int>(
        cell.cx, (frame.right - frame.left - m.em - (kGridColumns - 1) * kCellGap) / kGridColumns);
    for (int32_t i = 0; i < kGridColumns * kGridRows; ++i) {
        const int column = i % kGridColumns;
        const int row = i / kGridColumns;
        MoveWindow(grid.cells[static_cast<size_t>(i)], left + column * (width + kCellGap),
                   top + row * (cell.cy + kCellGap), width, cell.cy, FALSE);
    }
}

HWND DescribedDialog::Control(int32_t id) const {
    const auto found = m_controls.find(id);
    return found != m_controls.end() ? found->second : nullptr;
}

std::string DescribedDialog::GetText(int32_t id) const {
    const HWND control = Control(id);
    const int length = control != nullptr ? GetWindowTextLengthW(control) : 0;
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return Utf8FromWide(text);
}

void DescribedDialog::SetText(int32_t id, const std::string& text) {
    if (HWND control = Control(id))
        SetWindowTextW(control, WideFromUtf8(text).c_str());
}

bool DescribedDialog::GetCheck(int32_t id) const {
    const HWND control = Control(id);
    return control != nullptr && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void DescribedDialog::SetCheck(int32_t id, bool checked) {
    if (HWND control = Control(id))
        SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DescribedDialog::Enable(int32_t id, bool enabled) {
    if (HWND control = Control(id))
        EnableWindow(control, enabled ? TRUE : FALSE);
}

void DescribedDialog::SetTip(int32_t id, const std::string& tip) {
    const HWND control = Control(id);
    if (control == nullptr)
        return;
    const bool known = m_controlTips.count(id) != 0;
    m_controlTips[id] = WideFromUtf8(tip);
    if (known)
        return;
    // A disabled control gets no mouse input, so the tool is the dialog's own area over it.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = static_cast<UINT_PTR>(id);
    GetWindowRect(control, &tool.rect);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void DescribedDialog::SetCell(int32_t gridId, int32_t index, Rgb colour, const std::string& tip) {
    const auto grid = m_grids.find(gridId);
    if (grid == m_grids.end() || index < 0 || index >= kGridColumns * kGridRows)
        return;
    const HWND cell = grid->second.cells[static_cast<size_t>(index)];
    m_cellColours[cell] = RGB(colour.red, colour.green, colour.blue);
    m_cellTips[cell] = WideFromUtf8(tip);
    InvalidateRect(cell, nullptr, TRUE);
}

void DescribedDialog::EnableGrid(int32_t gridId, bool enabled) {
    const auto grid = m_grids.find(gridId);
    if (grid == m_grids.end())
        return;
    EnableWindow(grid->second.frame, enabled ? TRUE : FALSE);
    for (HWND cell : grid->second.cells)
        EnableWindow(cell, enabled ? TRUE : FALSE);
}

bool DescribedDialog::CopyToClipboard(const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr)
        return false;
    if (void* target = GlobalLock(memory)) {
        memcpy(target, wide.c_str(), bytes);
        GlobalUnlock(memory);
    }
    if (!OpenClipboard(m_hWnd)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (!placed)
        GlobalFree(memory); // the clipboard owns it only once placed
    return placed;
}

void DescribedDialog::SetTextColour(int32_t id, Rgb colour) {
    m_textColours[id] = RGB(colour.red, colour.green, colour.blue);
    if (HWND control = Control(id))
        InvalidateRect(control, nullptr, TRUE);
}

void DescribedDialog::End(INT_PTR result) {
    EndDialog(m_hWnd, result);
}

void DescribedDialog::ShowRunningState(bool running) {
    for (int32_t id : m_description.RunDependent()) {
        if (HWND control = Control(id))
            EnableWindow(control, m_description.EnabledWhile(id, running) ? TRUE : FALSE);
    }
}

HBRUSH DescribedDialog::Brush(COLORREF colour) {
    HBRUSH& brush = m_brushes[colour];
    if (brush == nullptr)
        brush = CreateSolidBrush(colour);
    return brush;
}
