#pragma once

#include <cstdint>
#include <string>

#include "dialog/Rgb.h"

// The board self-test dialog as SelfTestSession drives it: a 32 + 32 grid of points, a
// progress bar, a verdict line, the start and cancel buttons. Texts are UTF-8; calls come on
// the window's thread.
class ISelfTestView {
public:
    virtual ~ISelfTestView() = default;

    // One point of the grid (coil or input 0..31): its colour and the reason shown on hover.
    virtual void ShowPoint(bool isCoil, int32_t index, Rgb colour, const std::string& reason) = 0;
    // Whether the input row takes part (only with the loopback check).
    virtual void ShowInputs(bool shown) = 0;
    virtual void ShowProgress(int32_t done, int32_t total) = 0;
    virtual void ShowVerdict(const std::string& text) = 0;
    // While running: start and the loopback option disabled, cancel enabled; the reverse after.
    virtual void ShowRunning(bool running) = 0;
};
