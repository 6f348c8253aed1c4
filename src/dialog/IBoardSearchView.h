#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The "查找设备..." dialog as BoardSearchSession drives it: the list of boards found, a
// progress bar, a status line (while running: what is asked now, done/total, time left), the
// start and cancel buttons. Texts are UTF-8; calls come on the window's thread.
class IBoardSearchView {
public:
    virtual ~IBoardSearchView() = default;

    // Empties the list of boards found.
    virtual void ClearFound() = 0;
    // Adds one board to the end of the list.
    virtual void AddFound(const std::string& text) = 0;
    // Replaces the text of row (0 first) of the list, keeping the selection.
    virtual void SetFound(size_t row, const std::string& text) = 0;
    virtual void ShowProgress(int64_t done, int64_t total) = 0;
    virtual void ShowStatus(const std::string& text) = 0;
    // While running: start and the options disabled, cancel enabled; the reverse after.
    virtual void ShowRunning(bool running) = 0;
};
