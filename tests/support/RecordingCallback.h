#pragma once

#include <string>
#include <utility>
#include <vector>

#include "device/IDeviceCallback.h"

// An IDeviceCallback that writes every call as one comparable line:
//   "state 0->1"  "coil 5=1"  "input 5=0"  "heartbeat"
//   "log S <text>" (send pane)  "log R <text>" (receive pane)
//   "result 5 ok"  "result 1 -5 接收超时" (function code, then code and message)
class RecordingCallback : public IDeviceCallback {
public:
    void OnStateChanged(DeviceState oldState, DeviceState newState) override {
        lines.push_back("state " + std::to_string(int(oldState)) + "->" +
                        std::to_string(int(newState)));
    }
    void OnCoilChanged(int32_t index, uint8_t state) override { Point("coil ", index, state); }
    void OnInputChanged(int32_t index, uint8_t state) override { Point("input ", index, state); }
    void OnLog(const std::string& text, bool isSend) override {
        lines.push_back((isSend ? "log S " : "log R ") + text);
    }
    void OnOperationResult(const OperationResult& result, uint8_t functionCode) override {
        lines.push_back(
            "result " + std::to_string(functionCode) +
            (result.success ? " ok" : " " + std::to_string(result.code) + " " + result.message));
    }
    void OnHeartbeatTimeout() override { lines.push_back("heartbeat"); }

    // The lines recorded so far, which are then forgotten.
    std::vector<std::string> Take() { return std::exchange(lines, {}); }

    std::vector<std::string> lines;

private:
    void Point(const char* kind, int32_t index, uint8_t state) {
        lines.push_back(kind + std::to_string(index) + "=" + std::to_string(state));
    }
};
