#pragma once

#include <cstdint>
#include <string>

// One entry the window offers on its menu (the system menu on Windows, the background's
// context menu elsewhere): a command number for MainDialog::OnMenuCommand and its text.
struct MenuEntry {
    int32_t command = 0;
    std::string text;
};
