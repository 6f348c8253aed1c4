#pragma once

#include <string>

// The point timeline window as TimelineSession drives it: a canvas that paints the
// session's Frame() on request, two text lines (what the mouse points at, the last
// measurement or export) and a file chooser. Texts are UTF-8; calls come on the window's
// thread, and none may call back into the session before it returns.
class ITimelineView {
public:
    virtual ~ITimelineView() = default;

    // The canvas is out of date: repaint it soon from TimelineSession::Frame().
    virtual void Redraw() = 0;
    // What the mouse points at: a point, its level and the time; "" when nothing.
    virtual void ShowHover(const std::string& text) = 0;
    // The result of a click on an edge, or of an export.
    virtual void ShowNote(const std::string& text) = 0;
    // Asks where to export, offering suggestedName (.vcd or .csv); "" when cancelled.
    virtual std::string AskExportFileName(const std::string& suggestedName) = 0;
};
