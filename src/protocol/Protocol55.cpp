#include "protocol/Protocol55.h"

#include <cstring>

#include "protocol/ProtocolText.h"

namespace {
constexpr uint8_t kRequestHeader = 0x55;
constexpr uint8_t kAnswerHeader = 0x22;
constexpr uint8_t kReadStatus = 0x10;
constexpr uint8_t kOpen = 0x11;
constexpr uint8_t kClose = 0x12;
constexpr uint8_t kToggle = 0x20;

// Text of a command code an answer may carry; null for one that is not understood.
const char* CommandText(uint8_t command) {
    switch (command) {
    case 0x10:
        return "读取状态";
    case 0x11:
        return "断开";
    case 0x12:
        return "吸合";
    case 0x20:
        return "翻转";
    default:
        return nullptr;
    }
}
} // namespace

uint8_t Protocol55::CalcSum8(const uint8_t* data, int32_t length) {
    uint8_t sum = 0;
    if (data == nullptr)
        return sum;
    for (int32_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    return sum;
}

void Protocol55::Frame(uint8_t address, uint8_t command, uint8_t channel, uint8_t* out,
                       int32_t& outLength) {
    lastCommand = command;
    lastAddress = address;
    out[0] = kRequestHeader;
    out[1] = address;
    out[2] = command;
    out[3] = 0x00;
    out[4] = 0x00;
    out[5] = 0x00;
    out[6] = channel;
    out[7] = CalcSum8(out, 7);
    outLength = kFrameLength;
}

int32_t Protocol55::BuildReadCoils(uint8_t address, uint8_t, uint8_t, uint8_t* out,
                                   int32_t& outLength) {
    if (out == nullptr)
        return -1;
    Frame(address, kReadStatus, 0x00, out, outLength);
    return 0;
}

int32_t Protocol55::BuildReadInputs(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                                    int32_t& outLength) {
    return BuildReadCoils(address, start, count, out, outLength);
}

int32_t Protocol55::BuildWriteCoil(uint8_t address, uint8_t channel, bool, uint8_t* out,
                                   int32_t& outLength) {
    if (out == nullptr || channel < 1 || channel > kChannels)
        return -1;
    Frame(address, kToggle, channel, out, outLength);
    return 0;
}

AnswerVerdict Protocol55::ParseResponse(const uint8_t* data, int32_t length, std::string& text) {
    if (data == nullptr || length < kFrameLength) {
        text = ProtocolText::kTooShort;
        return {ErrorKind::Malformed};
    }
    if (data[0] != kAnswerHeader) {
        text = ProtocolText::Format("响应头错误: 期望0x22, 实际0x%02X", data[0]);
        return {ErrorKind::Malformed};
    }
    // In a longer answer the checksum is still the last byte.
    if (CalcSum8(data, length - 1) != data[length - 1]) {
        text = "校验和错误";
        return {ErrorKind::Checksum};
    }
    const char* command = CommandText(data[2]);
    if (command == nullptr) {
        text = ProtocolText::UnsupportedFunction(data[2]);
        return {ErrorKind::Malformed};
    }
    // Every answer carries all 32 relays, so another board's or another request's answer
    // would be taken whole without these.
    if (lastCommand != 0 && data[1] != lastAddress) {
        text = ProtocolText::Format("设备地址不匹配: 期望%d, 实际%d", lastAddress, data[1]);
        return {ErrorKind::Mismatch};
    }
    if (!AnswersCommand(data[2])) {
        text = ProtocolText::Format("命令不匹配: 期望0x%02X, 实际0x%02X", lastCommand, data[2]);
        return {ErrorKind::Mismatch};
    }
    UnpackRelayStates(data + 3);
    text = ProtocolText::Format("设备%d 响应[%s]: %s", data[1], command,
                                ProtocolText::StateList(coilStates, kChannels, 1).c_str());
    return {};
}

// A status request is answered by the status command; a toggle by the toggle, or by
// the opening or closing the board says it made.
bool Protocol55::AnswersCommand(uint8_t answered) const {
    if (lastCommand == 0 || answered == lastCommand)
        return true;
    return lastCommand == kToggle && (answered == kOpen || answered == kClose);
}

int32_t Protocol55::AnswerLength(const uint8_t* data, int32_t length) const {
    if (data == nullptr || length <= 0)
        return length < 0 ? -1 : 0;
    if (data[0] != kAnswerHeader)
        return -1;
    if (length < kFrameLength)
        return 0;
    return CalcSum8(data, kFrameLength - 1) == data[kFrameLength - 1] ? kFrameLength : -1;
}

bool Protocol55::AnswersLastRequest(const uint8_t* data, int32_t length) const {
    return lastCommand == 0 || data == nullptr || length < 3 ||
           (data[1] == lastAddress && AnswersCommand(data[2]));
}

// status holds the big-endian status word: its last byte carries channels 1..8.
void Protocol55::UnpackRelayStates(const uint8_t* status) {
    for (int32_t k = 0; k < kChannels; ++k) {
        coilStates[k] = (status[3 - k / 8] >> (k % 8)) & 0x01;
    }
}

bool Protocol55::GetCoilState(uint8_t index, uint8_t& out) {
    if (index >= kChannels)
        return false;
    out = coilStates[index];
    return true;
}

bool Protocol55::GetInputState(uint8_t index, uint8_t& out) {
    if (index >= kChannels)
        return false;
    out = inputStates[index];
    return true;
}

void Protocol55::ResetStates(uint8_t value) {
    std::memset(coilStates, value, sizeof coilStates);
    std::memset(inputStates, 0, sizeof inputStates);
}

std::string Protocol55::GetName() {
    return "55协议";
}
