#include "support/RecordingCallback.h"

#include <utility>

void RecordingCallback::OnStateChanged(DeviceState oldState, DeviceState newState) {
    lines.push_back("state " + std::to_string(static_cast<int>(oldState)) + "->" +
                    std::to_string(static_cast<int>(newState)));
}

void RecordingCallback::OnCoilChanged(int32_t index, uint8_t state) {
    lines.push_back("coil " + std::to_string(index) + "=" + std::to_string(state));
}

void RecordingCallback::OnInputChanged(int32_t index, uint8_t state) {
    lines.push_back("input " + std::to_string(index) + "=" + std::to_string(state));
}

void RecordingCallback::OnLog(const std::string &text, bool isSend) {
    lines.push_back((isSend ? "log S " : "log R ") + text);
}

void RecordingCallback::OnOperationResult(const OperationResult &result, uint8_t functionCode) {
    std::string line = "result " + std::to_string(functionCode);
    if (result.success) {
        line += " ok";
    } else {
        line += " " + std::to_string(result.code) + " " + result.message;
    }
    lines.push_back(line);
    results.push_back(result);
}

void RecordingCallback::OnHeartbeatTimeout() {
    lines.push_back("heartbeat");
}

std::vector<std::string> RecordingCallback::Take() {
    std::vector<std::string> taken;
    taken.swap(lines);
    return taken;
}

std::vector<std::string> RecordingCallback::StartingWith(const std::string &prefix) const {
    std::vector<std::string> matching;
    for (const std::string &line : lines) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            matching.push_back(line);
    }
    return matching;
}
