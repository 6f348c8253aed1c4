#include "ui/win32/TimelineWindow.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <map>

#include "comm/win32/WideText.h"
#include "dialog/MainDialog.h"

namespace {

constexpr const wchar_t* kFrameClass = L"VornakTimeline";
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 100;
constexpr int kFollowId = 103;
constexpr int kExportId = 104;
constexpr int kBarHeight = 28;

COLORREF ToColorRef(Rgb colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

// The pens and brushes of one paint, one per colour, deleted together.
class GdiCache {
public:
    ~GdiCache() {
        for (const auto& [key, object] : m_objects)
            DeleteObject(object);
    }
    HPEN Pen(COLORREF colour) { return static_cast<HPEN>(Get(colour, 0)); }
    HBRUSH Brush(COLORREF colour) { return static_cast<HBRUSH>(Get(colour, 1)); }
    HBRUSH Hatch(COLORREF colour) { return static_cast<HBRUSH>(Get(colour, 2)); }

private:
    HGDIOBJ Get(COLORREF colour, int kind) {
        HGDIOBJ& object = m_objects[{colour, kind}];
        if (object == nullptr) {
            object = kind == 0   ? static_cast<HGDIOBJ>(CreatePen(PS_SOLID, 1, colour))
                     : kind == 1 ? static_cast<HGDIOBJ>(CreateSolidBrush(colour))
                                 : static_cast<HGDIOBJ>(CreateHatchBrush(HS_BDIAGONAL, colour));
        }
        return object;
    }
    std::map<std::pair<COLORREF, int>, HGDIOBJ> m_objects;
};

} // namespace

TimelineWindow::TimelineWindow(MainDialog& dialog) : m_dialog(dialog) {}

bool TimelineWindow::RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof frame;
        frame.lpfnWndProc = FrameProc;
        frame.hInstance = GetModuleHandleW(nullptr);
        frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        frame.lpszClassName = kFrameClass;
        WNDCLASSEXW canvas{};
        canvas.cbSize = sizeof canvas;
        canvas.lpfnWndProc = CanvasProc;
        canvas.hInstance = GetModuleHandleW(nullptr);
        canvas.hCursor = LoadCursorW(nullptr, IDC_CROSS);
        canvas.lpszClassName = kCanvasClass;
        return RegisterClassExW(&frame) != 0 && RegisterClassExW(&canvas) != 0;
    }();
    return registered;
}

HWND TimelineWindow::Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id) {
    const HWND child =
        CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, m_hWnd,
                        reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    return child;
}

TimelineWindow::~TimelineWindow() {
    if (m_hWnd != nullptr) {
        SetWindowLongPtrW(m_canvas, GWLP_USERDATA, 0);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        KillTimer(m_hWnd, kTickTimer);
        DestroyWindow(m_hWnd);
    }
    if (m_font != nullptr)
        DeleteObject(m_font);
}

bool TimelineWindow::Show(HWND owner) {
    if (m_hWnd == nullptr) {
        if (!RegisterClasses())
            return false;
        ITimelineView& view = *this;
        m_session = std::make_unique<TimelineSession>(m_dialog.History(), view,
                                                      [this] { return m_dialog.HistoryNowUs(); });
        m_hWnd = CreateWindowExW(0, kFrameClass, L"点位时间线", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 1100, 820, owner, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (m_hWnd == nullptr)
            return false;
        m_font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, L"宋体");
        m_canvas = Child(kCanvasClass, L"", 0, 0);
        m_hover = Child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kHoverId);
        m_note = Child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kNoteId);
        m_follow = Child(L"BUTTON", L"回到最新", BS_PUSHBUTTON | WS_TABSTOP, kFollowId);
        m_export = Child(L"BUTTON", L"导出...", BS_PUSHBUTTON | WS_TABSTOP, kExportId);
        // Messages reach this object only from here on; those of the creation got the
        // default handling.
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(m_canvas, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        Layout();
        SetTimer(m_hWnd, kTickTimer, kTickMs, nullptr);
    }
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    SetForegroundWindow(m_hWnd);
    return true;
}

LRESULT CALLBACK TimelineWindow::FrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TimelineWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Gone with its owner, the main dialog: nothing is left to destroy later.
        KillTimer(hWnd, kTickTimer);
        self->m_hWnd = self->m_canvas = nullptr;
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
    return self->OnFrameMessage(message, wParam, lParam);
}

LRESULT CALLBACK TimelineWindow::CanvasProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TimelineWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hWnd, message, wParam, lParam);
    return self->OnCanvasMessage(message, wParam, lParam);
}

LRESULT TimelineWindow::OnFrameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kFollowId)
            m_session->Follow();
        else if (LOWORD(wParam) == kExportId)
            m_session->Export();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_TIMER:
        m_session->OnTick();
        return 0;
    case WM_CLOSE:
        // Closing only hides it: the history goes on, and the menu shows it again.
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(m_hWnd, message, wParam, lParam);
    }
}

LRESULT TimelineWindow::OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(m_canvas, &paint);
        PaintCanvas(dc);
        EndPaint(m_canvas, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    case WM_MOUSEMOVE:
        if (!m_tracking) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_canvas, 0};
            m_tracking = TrackMouseEvent(&track) != FALSE;
        }
        m_session->OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), (wParam & MK_LBUTTON) != 0);
        return 0;
    case WM_MOUSELEAVE:
        m_tracking = false;
        m_session->OnLeave();
        return 0;
    case WM_LBUTTONDOWN:
        SetCapture(m_canvas);
        m_session->OnPress(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        ReleaseCapture();
        m_session->OnRelease(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; // screen coordinates
        ScreenToClient(m_canvas, &at);
        m_session->OnWheel(at.x, GET_WHEEL_DELTA_WPARAM(wParam) / double(WHEEL_DELTA));
        return 0;
    }
    default:
        return DefWindowProcW(m_canvas, message, wParam, lParam);
    }
}

void TimelineWindow::Layout() {
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const int width = client.right, height = client.bottom;
    const int barTop = std::max(0, height - kBarHeight);
    MoveWindow(m_canvas, 4, 4, std::max(1, width - 8), std::max(1, barTop - 8), TRUE);
    const int buttons = 2 * 90 + 8;
    const int texts = std::max(0, width - buttons - 12);
    MoveWindow(m_hover, 4, barTop + 6, texts * 2 / 5, 18, TRUE);
    MoveWindow(m_note, 8 + texts * 2 / 5, barTop + 6, texts * 3 / 5, 18, TRUE);
    MoveWindow(m_follow, width - buttons, barTop + 2, 90, 24, TRUE);
    MoveWindow(m_export, width - 94, barTop + 2, 90, 24, TRUE);
    RECT canvas{};
    GetClientRect(m_canvas, &canvas);
    m_session->OnResize(canvas.right, canvas.bottom);
}

void TimelineWindow::PaintCanvas(HDC target) {
    RECT client{};
    GetClientRect(m_canvas, &client);
    // Drawn into a bitmap first and copied at once, so the lanes never flicker.
    const HDC dc = CreateCompatibleDC(target);
    const HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    const TimelineFrame frame = m_session->Frame();
    GdiCache gdi;
    FillRect(dc, &client, gdi.Brush(ToColorRef(frame.background)));
    SetBkMode(dc, TRANSPARENT);
    for (const TimelineShape& s : frame.shapes) {
        const RECT r{s.x0, s.y0, s.x1, s.y1};
        switch (s.kind) {
        case TimelineShape::Kind::Line:
            SelectObject(dc, gdi.Pen(ToColorRef(s.colour)));
            MoveToEx(dc, s.x0, s.y0, nullptr);
            // Both ends are part of the line; GDI leaves out the last pixel.
            LineTo(dc, s.x1 + (s.y0 == s.y1 ? 1 : 0), s.y1 + (s.y0 == s.y1 ? 0 : 1));
            break;
        case TimelineShape::Kind::Fill:
            FillRect(dc, &r, gdi.Brush(ToColorRef(s.colour)));
            break;
        case TimelineShape::Kind::Hatch:
            FillRect(dc, &r, gdi.Hatch(ToColorRef(s.colour)));
            break;
        }
    }
    HFONT font = nullptr;
    int fontHeight = 0;
    for (const TimelineText& t : frame.texts) {
        const int height = std::max(6, std::min(12, t.y1 - t.y0 - 1));
        if (height != fontHeight) {
            if (font != nullptr)
                DeleteObject(font);
            font = CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH, L"宋体");
            fontHeight = height;
            SelectObject(dc, font);
        }
        SetTextColor(dc, ToColorRef(t.colour));
        RECT r{t.x0, t.y0, t.x1, t.y1};
        DrawTextW(dc, WideFromUtf8(t.text).c_str(), -1, &r,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    if (font != nullptr)
        DeleteObject(font);
}

void TimelineWindow::Redraw() {
    InvalidateRect(m_canvas, nullptr, FALSE);
}

void TimelineWindow::ShowHover(const std::string& text) {
    SetWindowTextW(m_hover, WideFromUtf8(text).c_str());
}

void TimelineWindow::ShowNote(const std::string& text) {
    SetWindowTextW(m_note, WideFromUtf8(text).c_str());
}

std::string TimelineWindow::AskExportFileName(const std::string& suggestedName) {
    std::wstring path = WideFromUtf8(suggestedName);
    path.resize(MAX_PATH * 4, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_hWnd;
    dialog.lpstrFilter = L"VCD (*.vcd)\0*.vcd\0CSV (*.csv)\0*.csv\0";
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrDefExt = L"vcd";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog))
        return {};
    path.resize(wcslen(path.c_str()));
    return Utf8FromWide(path);
}
