#pragma once

#include <cstdint>

// Kinds of control a dialog template can hold, each with the behaviour of its window
// style: a group box frames, a label shows left-aligned text, a check box toggles itself
// when clicked, an edit is a one-line text field, a log pane is a read-only multi-line
// field with a vertical scroll bar, an edit combo accepts typed text besides its list,
// and a list combo offers its list only.
enum class DlgItemKind {
    GroupBox,
    Label,
    PushButton,
    CheckBox,
    Edit,
    LogPane,
    EditCombo,
    ListCombo
};

// One control of a dialog template: identifier, kind, caption (UTF-8, may be empty) and
// rectangle in dialog units.
struct DlgItem {
    int32_t id;
    DlgItemKind kind;
    const char* caption;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    // Tab stop: whether the control is reached with the Tab key.
    bool tabStop;
};
