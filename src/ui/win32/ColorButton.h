#pragma once

#include <cstdint>

#include <windows.h>

// An owner-drawn push button with its own background and text colours for four looks:
// normal, mouse over it, pressed and disabled. It paints a filled rectangle (rounded when
// a corner radius is set) with a thin grey border and its caption centred on one line.
// The owner creates the window with Create and passes its WM_DRAWITEM on to DrawItem.
class ColorButton {
public:
    ColorButton() = default;
    ~ColorButton();
    ColorButton(const ColorButton&) = delete;
    ColorButton& operator=(const ColorButton&) = delete;

    // Creates the button as child id of parent at rect (client pixels); false on failure.
    bool Create(HWND parent, int32_t id, const RECT& rect, const wchar_t* caption);
    HWND Window() const { return m_hWnd; }

    // Each setter stores its values and repaints at once.
    void SetCornerRadius(int32_t radius);
    void SetNormalColors(COLORREF background, COLORREF text);
    void SetHoverColors(COLORREF background, COLORREF text);
    void SetPressedColors(COLORREF background, COLORREF text);

    // Paints the button as the draw-item record asks.
    void DrawItem(const DRAWITEMSTRUCT& item) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void Repaint() const;

    HWND m_hWnd = nullptr;
    COLORREF m_normalBkColor = RGB(240, 240, 240);
    COLORREF m_normalTextColor = RGB(0, 0, 0);
    COLORREF m_hoverBkColor = RGB(200, 220, 255);
    COLORREF m_hoverTextColor = RGB(0, 0, 255);
    COLORREF m_pressedBkColor = RGB(150, 180, 255);
    COLORREF m_pressedTextColor = RGB(255, 255, 255);
    COLORREF m_disabledBkColor = RGB(220, 220, 220);
    COLORREF m_disabledTextColor = RGB(128, 128, 128);
    int32_t m_cornerRadius = 0;
    bool m_hover = false;
    bool m_tracking = false;
};
