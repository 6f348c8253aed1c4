#pragma once

#include <cstdint>
#include <string>

#include "device/DeviceState.h"
#include "protocol/IProtocol.h"

// Receiver of a Device's events. Called on the caller's thread, possibly with the
// device's lock held: implementations must not call back into the Device.
class IDeviceCallback {
public:
    virtual ~IDeviceCallback() = default;

    virtual void OnStateChanged(DeviceState oldState, DeviceState newState) = 0;
    virtual void OnCoilChanged(int32_t index, uint8_t state) = 0;
    virtual void OnInputChanged(int32_t index, uint8_t state) = 0;
    // isSend chooses the send pane (true) or the receive pane (false).
    virtual void OnLog(const std::string& text, bool isSend) = 0;
    // After every exchange; functionCode is 1, 2 or 5.
    virtual void OnOperationResult(const OperationResult& result, uint8_t functionCode) = 0;
    virtual void OnHeartbeatTimeout() = 0;
};
