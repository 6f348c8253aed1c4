#pragma once

#include <cstdint>
#include <string>

#include "dialog/Rgb.h"

// Which of the self-test dialog's controls take input, and the loopback option's state.
struct SelfTestControls {
    bool start = true;
    bool cancel = false;
    bool copy = false; // "复制结果": only when there is a result to copy
    bool loopback = true;
    bool loopbackChecked = false;
    std::string loopbackTip; // why the option is disabled; empty when it is not
};

// The board self-test dialog as SelfTestSession drives it: a 32 + 32 grid of points, a
// progress bar, a verdict line, the loopback option, the start, cancel and copy buttons.
// Texts are UTF-8; calls come on the window's thread.
class ISelfTestView {
public:
    virtual ~ISelfTestView() = default;

    // One point of the grid (coil or input 0..31): its colour and the reason shown on hover.
    virtual void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) = 0;
    // Whether the input row takes part (only with the loopback check).
    virtual void ShowInputs(bool shown) = 0;
    virtual void ShowProgress(int32_t done, int32_t total) = 0;
    // The verdict; a failed restore adds a second line.
    virtual void ShowVerdict(const std::string& text) = 0;
    // Enables the controls as given and sets the loopback option's tick and tooltip.
    virtual void ShowControls(const SelfTestControls& controls) = 0;
};
