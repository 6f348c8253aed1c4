#pragma once

#include <cstdint>

// Connection state of a Device.
enum class DeviceState : int32_t {
    Disconnected = 0,
    Connecting = 1,
    Connected = 2,
    Error = 3,
    Offline = 4,
};
