#include "support/RecordingCallback.h"

void RecordingCallback::OnStateChanged(DeviceState oldState, DeviceState newState) {
    lines.push_back("state " + std::to_string(int(oldState)) + "->" +
                    std::to_string(int(newState)));
}

void RecordingCallback::OnCoilChanged(int32_t index, uint8_t state) {
    lines.push_back("coil " + std::to_string(index) + "=" + std::to_string(state));
}

void RecordingCallback::OnInputChanged(int32_t index, uint8_t state) {
    lines.push_back("input " + std::to_string(index) + "=" + std::to_string(state));
}

void RecordingCallback::OnLog(const std::string& text, bool isSend) {
    lines.push_back((isSend ? "log S " : "log R ") + text);
}

void RecordingCallback::OnOperationResult(const OperationResult& result, uint8_t functionCode) {
    lines.push_back(
        "result " + std::to_string(functionCode) +
        (result.success ? " ok" : " " + std::to_string(result.code) + " " + result.message));
}

std::vector<std::string> RecordingCallback::Take() {
    std::vector<std::string> taken;
    taken.swap(lines);
    return taken;
}
