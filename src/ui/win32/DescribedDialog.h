#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

#include "dialog/DialogDescription.h"
#include "dialog/Rgb.h"

// A dialog of the layer's description rendered in plain Win32: the controls are created at
// start-up, measured in the dialog's own font (so its size follows the font and the DPI)
// and laid out row by row; the dialog is centred over its owner, inside the owner's
// monitor's work area. Esc and the close box follow the description's rule (close, or
// cancel the running tool); a subclass says whether a tool runs, how to cancel it and
// what its buttons do. Texts cross to UTF-16 only here.
class DescribedDialog {
public:
    explicit DescribedDialog(DialogDescription description);
    virtual ~DescribedDialog();
    DescribedDialog(const DescribedDialog&) = delete;
    DescribedDialog& operator=(const DescribedDialog&) = delete;

    // Shows the dialog modally over owner until End: End's code, or -1 when it could not
    // be made.
    INT_PTR DoModal(HWND owner);

    HWND Window() const { return m_hWnd; }
    // The control with that identifier; nullptr before DoModal or when there is none.
    HWND Control(int32_t id) const;
    std::string GetText(int32_t id) const;
    void SetText(int32_t id, const std::string& text);
    bool GetCheck(int32_t id) const;
    void SetCheck(int32_t id, bool checked);
    void Enable(int32_t id, bool enabled);
    // The text shown when the pointer rests on control id, disabled or not; "" shows none.
    void SetTip(int32_t id, const std::string& tip);
    // Colours cell index (0..31) of point grid gridId and sets the text its tip shows.
    void SetCell(int32_t gridId, int32_t index, Rgb colour, const std::string& tip);
    // Enables or disables point grid gridId with its cells.
    void EnableGrid(int32_t gridId, bool enabled);
    // Puts text on the clipboard; false when it is taken by another program.
    bool CopyToClipboard(const std::string& text);
    // Draws control id's text in colour.
    void SetTextColour(int32_t id, Rgb colour);
    void End(INT_PTR result);

protected:
    // After the controls exist and before the dialog shows.
    virtual void OnInit() {}
    // A button clicked (BN_CLICKED) or a list double-clicked (LBN_DBLCLK), by identifier.
    virtual void OnCommand(int32_t id, int32_t code);
    virtual void OnTimer(UINT_PTR) {}
    // While the window goes, its controls still there.
    virtual void OnDestroy() {}
    virtual bool ToolRunning() const { return false; }
    virtual void CancelTool() {}
    // Enables the run-dependent controls as the description says for running.
    void ShowRunningState(bool running);

private:
    struct Grid {
        HWND frame = nullptr;
        std::array<HWND, 32> cells{};
    };
    static INT_PTR CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Measures and places every control in the dialog's font and sizes the dialog: centred
    // over the owner, or at the suggested place after a DPI change; inside the work area.
    void Layout(const RECT* suggested);
    // The font the controls are measured and drawn in: the template's until a DPI change.
    HFONT Font() const;
    // Takes the dialog font at the new DPI and lays the dialog out again.
    void ChangeDpi(int dpi, const RECT& suggested);
    // The tip areas of controls that carry one follow the controls.
    void MoveTipAreas();
    SIZE Natural(const DialogControl& control, HDC dc) const;
    void PlaceGrid(const Grid& grid, RECT frame);
    HBRUSH Brush(COLORREF colour);

    DialogDescription m_description;
    HWND m_hWnd = nullptr;
    HWND m_owner = nullptr;
    HWND m_tips = nullptr;
    HFONT m_font = nullptr; // the font taken at a DPI change; the template's before one
    HICON m_icon = nullptr;
    std::vector<HWND> m_ordered; // every control, in the description's order
    std::map<int32_t, HWND> m_controls;
    std::map<int32_t, Grid> m_grids;
    std::map<HWND, COLORREF> m_cellColours;
    std::map<HWND, std::wstring> m_cellTips;
    std::map<int32_t, std::wstring> m_controlTips; // by control identifier
    std::map<int32_t, COLORREF> m_textColours;
    std::map<COLORREF, HBRUSH> m_brushes;
};
