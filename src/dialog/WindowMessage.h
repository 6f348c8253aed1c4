#pragma once

#include <cstdint>
#include <string>

// The messages the main dialog posts to its own window, numbered as window messages
// (WM_USER is 0x400): two for lines of the log panes, six for device events.
constexpr uint32_t WM_LOG_SEND = 0x0464;         // text: a line for the send pane
constexpr uint32_t WM_LOG_RECV = 0x0465;         // text: a line for the receive pane
constexpr uint32_t WM_DEVICE_STATE = 0x04C8;     // wParam old state, lParam new state
constexpr uint32_t WM_DEVICE_LOG = 0x04C9;       // wParam 1 send pane / 0 receive pane, text
constexpr uint32_t WM_DEVICE_COIL = 0x04CA;      // wParam coil index, lParam state
constexpr uint32_t WM_DEVICE_INPUT = 0x04CB;     // wParam input index, lParam state
constexpr uint32_t WM_DEVICE_HEARTBEAT = 0x04CD; // no parameters
constexpr uint32_t WM_DEVICE_RESULT = 0x04CE;    // wParam function code, lParam 1 success / 0

// One posted message: its number, two integer parameters and, for the log messages, the
// line as UTF-8; a device event also carries when it was raised (µs of the monotonic clock,
// 0 for the window's own messages). It is handed back unchanged to MainDialog::OnPosted.
struct WindowMessage {
    uint32_t message = 0;
    int64_t wParam = 0;
    int64_t lParam = 0;
    std::string text;
    int64_t timeUs = 0;
};
