#pragma once

#include <array>
#include <cstdint>

#include "device/Device.h"

// What the window shows of its Device, taken on the worker that owns the Device and posted to
// the window with each event, so the window never asks the Device itself.
struct DeviceSnapshot {
    DeviceState state = DeviceState::Disconnected;
    int32_t activeCommType = 0;
    bool connected = false; // Connected with an open transport
    std::array<uint8_t, 32> coils{};
    std::array<uint8_t, 32> inputs{};

    // On the Device's own thread.
    static DeviceSnapshot Of(Device& device) {
        DeviceSnapshot shot;
        shot.state = device.GetState();
        shot.activeCommType = device.GetActiveCommType();
        shot.connected = device.IsConnected();
        for (int32_t i = 0; i < 32; ++i) {
            shot.coils[static_cast<size_t>(i)] = device.GetCachedCoil(i);
            shot.inputs[static_cast<size_t>(i)] = device.GetCachedInput(i);
        }
        return shot;
    }
    // Whether a request may go out: connected, or offline, where an answer brings it back.
    bool MayExchange() const { return connected || state == DeviceState::Offline; }
};
