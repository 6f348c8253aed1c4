#include "ui/win32/ColorButton.h"

#include <commctrl.h>
#include <string>

namespace {
constexpr COLORREF kBorderColor = RGB(128, 128, 128);
constexpr UINT_PTR kSubclassId = 1;
} // namespace

ColorButton::~ColorButton() {
    if (m_hWnd != nullptr)
        RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
}

bool ColorButton::Create(HWND parent, int32_t id, const RECT& rect, const wchar_t* caption) {
    // BS_OWNERDRAW: every look comes from DrawItem, whatever push-button style is asked.
    m_hWnd = CreateWindowExW(
        0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_MULTILINE | BS_OWNERDRAW, rect.left,
        rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (m_hWnd == nullptr)
        return false;
    SetWindowSubclass(m_hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void ColorButton::SetCornerRadius(int32_t radius) {
    m_cornerRadius = radius;
    Repaint();
}

void ColorButton::SetNormalColors(COLORREF background, COLORREF text) {
    m_normalBkColor = background;
    m_normalTextColor = text;
    Repaint();
}

void ColorButton::SetHoverColors(COLORREF background, COLORREF text) {
    m_hoverBkColor = background;
    m_hoverTextColor = text;
    Repaint();
}

void ColorButton::SetPressedColors(COLORREF background, COLORREF text) {
    m_pressedBkColor = background;
    m_pressedTextColor = text;
    Repaint();
}

void ColorButton::DrawItem(const DRAWITEMSTRUCT& item) const {
    COLORREF background = m_normalBkColor;
    COLORREF text = m_normalTextColor;
    if (item.itemState & ODS_DISABLED) {
        background = m_disabledBkColor;
        text = m_disabledTextColor;
    } else if (item.itemState & ODS_SELECTED) {
        background = m_pressedBkColor;
        text = m_pressedTextColor;
    } else if (m_hover) {
        background = m_hoverBkColor;
        text = m_hoverTextColor;
    }

    const HDC dc = item.hDC;
    const HBRUSH brush = CreateSolidBrush(background);
    const HPEN pen = CreatePen(PS_SOLID, 1, kBorderColor);
    const HGDIOBJ oldBrush = SelectObject(dc, brush);
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    const RECT& r = item.rcItem;
    if (m_cornerRadius >= 1)
        RoundRect(dc, r.left, r.top, r.right, r.bottom, m_cornerRadius, m_cornerRadius);
    else
        Rectangle(dc, r.left, r.top, r.right, r.bottom);

    const int length = GetWindowTextLengthW(item.hwndItem);
    if (length > 0) {
        std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
        GetWindowTextW(item.hwndItem, caption.data(), length + 1);
        caption.resize(static_cast<size_t>(length));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, text);
        RECT textRect = r;
        if (item.itemState & ODS_SELECTED)
            OffsetRect(&textRect, 1, 1);
        // A caption of several lines ("0\n---") is centred as a block: DT_VCENTER works on
        // single lines only, and there a line feed would show as a box.
        RECT block = textRect;
        DrawTextW(dc, caption.c_str(), length, &block, DT_CENTER | DT_NOPREFIX | DT_CALCRECT);
        const LONG spare = (textRect.bottom - textRect.top) - (block.bottom - block.top);
        textRect.top += spare > 0 ? spare / 2 : 0;
        DrawTextW(dc, caption.c_str(), length, &textRect, DT_CENTER | DT_NOPREFIX);
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    DeleteObject(brush);
}

LRESULT CALLBACK ColorButton::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR self) {
    auto* button = reinterpret_cast<ColorButton*>(self);
    switch (message) {
    case WM_MOUSEMOVE:
        if (!button->m_tracking) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hWnd, 0};
            _TrackMouseEvent(&track);
            button->m_tracking = true;
            if (!button->m_hover) {
                button->m_hover = true;
                button->Repaint();
            }
        }
        break;
    case WM_MOUSELEAVE:
        button->m_tracking = false;
        if (button->m_hover) {
            button->m_hover = false;
            button->Repaint();
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        button->Repaint();
        break;
    case WM_ENABLE: {
        const LRESULT result = DefSubclassProc(hWnd, message, wParam, lParam);
        button->Repaint();
        return result;
    }
    default:
        break;
    }
    return DefSubclassProc(hWnd, message, wParam, lParam);
}

void ColorButton::Repaint() const {
    if (m_hWnd != nullptr)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}
