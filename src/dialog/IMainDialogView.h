#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialog/AboutBoxTexts.h"
#include "dialog/Rgb.h"

// What MainDialog asks of a window. A face implements it with its toolkit's controls; every
// control is addressed by its template ID (MainDlgIds.h), the coil buttons by 2200 + i and the
// input buttons by 2100 + i. Texts are UTF-8. Every call but Post comes on the window's
// thread, and none may call back into MainDialog before it returns (posted tasks run later).
class IMainDialogView {
public:
    virtual ~IMainDialogView() = default;

    // The window's title.
    virtual void SetTitle(const std::string& text) = 0;
    // The text of a label, an edit, a button or the edit field of a combo box.
    virtual void SetText(int32_t id, const std::string& text) = 0;
    // The text a control shows now; for a combo box the text in its field.
    virtual std::string GetText(int32_t id) = 0;
    virtual void SetCheck(int32_t id, bool checked) = 0;
    virtual bool GetCheck(int32_t id) = 0;
    // A disabled control shows so and takes no input.
    virtual void Enable(int32_t id, bool enabled) = 0;

    // Replaces a combo box's list; nothing is selected afterwards.
    virtual void SetComboItems(int32_t id, const std::vector<std::string>& items) = 0;
    // Selects a list item (its text shows in the field); -1 selects none.
    virtual void SelectComboItem(int32_t id, int32_t index) = 0;
    // The selected item; -1 when none is, or when the operator has typed into the field
    // since the selection was made.
    virtual int32_t GetComboSelection(int32_t id) = 0;

    // A coil or input button's caption and colours; the button keeps them under the mouse
    // and while pressed. A caption's line feed is drawn as one line.
    virtual void SetButtonLook(int32_t id, const std::string& caption, Rgb background,
                               Rgb text) = 0;

    // Adds a line at the end of a log pane (1016 send, 1017 receive) and scrolls it into view.
    virtual void AppendLine(int32_t paneId, const std::string& line) = 0;
    // Removes the pane's count oldest lines.
    virtual void DropOldestLines(int32_t paneId, int32_t count) = 0;

    // Starts window timer timerId (101 heartbeat, 102 poll), replacing a running one; each
    // tick comes back as MainDialog::OnTimer(timerId).
    virtual void StartTimer(int32_t timerId, int32_t intervalMs) = 0;
    virtual void StopTimer(int32_t timerId) = 0;

    // Queues task for the window's thread and returns at once; any thread may call it. The
    // window runs it after the current handler has returned, in posting order, and drops
    // what is still queued when it is destroyed.
    virtual void Post(std::function<void()> task) = 0;

    // Shows the about box modally.
    virtual void ShowAboutBox(const AboutBoxTexts& texts) = 0;
    // Shows the point timeline window ("点位时间线...") beside the main window, without
    // blocking it (a TimelineSession on MainDialog's history drives it); an open one comes
    // to the front.
    virtual void ShowTimeline() = 0;
    // Ends the window's modal loop.
    virtual void Close() = 0;
};
