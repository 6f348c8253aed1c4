#pragma once

#include <string>
#include <vector>

#include "device/IDeviceCallback.h"

// An IDeviceCallback that writes every call as one comparable line:
//   "state 0->1"  "coil 5=1"  "input 5=0"  "heartbeat"
//   "log S <text>" (send pane)  "log R <text>" (receive pane)
//   "result 5 ok"  "result 1 -5 接收超时" (function code, then code and message)
class RecordingCallback : public IDeviceCallback {
public:
    void OnStateChanged(DeviceState oldState, DeviceState newState) override;
    void OnCoilChanged(int32_t index, uint8_t state) override;
    void OnInputChanged(int32_t index, uint8_t state) override;
    void OnLog(const std::string& text, bool isSend) override;
    void OnOperationResult(const OperationResult& result, uint8_t functionCode) override;
    void OnHeartbeatTimeout() override { lines.push_back("heartbeat"); }

    // The lines recorded so far, which are then forgotten.
    std::vector<std::string> Take();

    std::vector<std::string> lines;
};
