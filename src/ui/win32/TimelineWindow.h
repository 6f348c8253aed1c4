#pragma once

#include <memory>
#include <string>

#include <windows.h>

#include "dialog/ITimelineView.h"
#include "dialog/TimelineSession.h"

class MainDialog;

// "点位时间线..." on Win32: a window of its own beside the main dialog (owned by it, not
// modal) with a canvas that paints the session's frame through a memory bitmap, the hover
// and note lines, "回到最新" and "导出...". The canvas forwards the mouse to the session; a
// timer moves the latest moment along.
class TimelineWindow : private ITimelineView {
public:
    // The canvas's window class, for finding it from outside.
    static constexpr const wchar_t* kCanvasClass = L"VornakTimelineCanvas";
    static constexpr int kHoverId = 101;
    static constexpr int kNoteId = 102;

    explicit TimelineWindow(MainDialog& dialog);
    ~TimelineWindow() override;
    TimelineWindow(const TimelineWindow&) = delete;
    TimelineWindow& operator=(const TimelineWindow&) = delete;

    // Creates the window on first use, then shows it and brings it to the front; false
    // when it could not be created.
    bool Show(HWND owner);

private:
    static bool RegisterClasses();
    static LRESULT CALLBACK FrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CanvasProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnFrameMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam);
    HWND Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id);
    void Layout();
    void PaintCanvas(HDC target);

    void Redraw() override;
    void ShowHover(const std::string& text) override;
    void ShowNote(const std::string& text) override;
    std::string AskExportFileName(const std::string& suggestedName) override;

    MainDialog& m_dialog;
    HWND m_hWnd = nullptr;
    HWND m_canvas = nullptr;
    HWND m_hover = nullptr;
    HWND m_note = nullptr;
    HWND m_follow = nullptr;
    HWND m_export = nullptr;
    HFONT m_font = nullptr;
    bool m_tracking = false; // asked for WM_MOUSELEAVE
    std::unique_ptr<TimelineSession> m_session;
};
