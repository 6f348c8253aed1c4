#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a control of a described dialog is. A text is a read-only line (wrapping when long),
// an edit a one-line field, a list a box of lines of which one can be chosen, a progress a
// bar, a point grid a frame of 32 small coloured cells (8 to a row, index 0 at the top
// left, each with a reason shown on hover), an icon the program's icon.
enum class DialogControlKind { Text, Edit, CheckBox, Button, List, Progress, PointGrid, Icon };

// When a control is enabled while a dialog's tool may run.
enum class RunRule {
    Always,
    Idle,   // only while no tool runs (start, options, choices)
    Running // only while the tool runs (cancel)
};

// One control: identifier, what it is, its text (UTF-8), its share of its row's width in
// per cent (0: as wide as its text needs) and when it is enabled.
struct DialogControl {
    int32_t id = 0;
    DialogControlKind kind = DialogControlKind::Text;
    std::string text;
    int32_t percent = 0;
    RunRule rule = RunRule::Always;
};

// A row of controls side by side, in tab order; the row's controls start at the left, or
// end at the right with alignRight (a row of closing buttons).
struct DialogRow {
    std::vector<DialogControl> controls;
    bool alignRight = false;
};

// A dialog described by what its controls are, not where they sit: every face lays the
// rows out top to bottom in its own toolkit's metrics, so fonts and DPI never break it.
struct DialogDescription {
    std::string caption;
    std::vector<DialogRow> rows;
    // The dialog's width at least, in ems of its font (0: its widest row's).
    int32_t minWidthEm = 0;
    // Enter presses defaultButton (0: none). Esc closes the dialog when no tool runs and
    // cancels the tool when one does (EscapeCloses).
    int32_t defaultButton = 0;

    // The control with that identifier; nullptr when there is none.
    const DialogControl* Find(int32_t id) const;
    // Whether control id is enabled while a tool runs (running) or not; true for an
    // identifier the description does not hold.
    bool EnabledWhile(int32_t id, bool running) const;
    // Every control whose enabled state depends on the tool running, in tab order.
    std::vector<int32_t> RunDependent() const;
    // What Esc does: true closes the dialog, false cancels the running tool.
    static bool EscapeCloses(bool running) { return !running; }
};
