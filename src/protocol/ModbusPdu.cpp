#include "protocol/ModbusPdu.h"

#include <algorithm>
#include <cstring>

#include "protocol/ProtocolText.h"

bool ModbusPdu::IsReadRangeValid(uint8_t start, uint8_t count) {
    // Widened so that start + count cannot wrap at 8 bits.
    return count >= 1 && count <= kPoints && int32_t{start} + int32_t{count} <= kPoints;
}

bool ModbusPdu::BuildRead(uint8_t function, uint8_t start, uint8_t count, uint8_t* out) {
    if (out == nullptr || !IsReadRangeValid(start, count))
        return false;
    lastStart = start;
    lastCount = count;
    lastFunction = function;
    out[0] = function;
    out[1] = 0x00;
    out[2] = start;
    out[3] = 0x00;
    out[4] = count;
    return true;
}

void ModbusPdu::BuildWriteCoil(uint8_t index, bool on, uint8_t* out) {
    lastFunction = kWriteCoil;
    lastWriteIndex = index;
    lastWriteValue = on ? 0xFF : 0x00;
    out[0] = kWriteCoil;
    out[1] = 0x00;
    out[2] = index;
    out[3] = on ? 0xFF : 0x00;
    out[4] = 0x00;
}

ErrorKind ModbusPdu::MatchLastRequest(const uint8_t* pdu, int32_t pduLength,
                                      std::string& text) const {
    if (lastFunction == 0 || pdu == nullptr || pduLength < 1)
        return ErrorKind::None;
    if ((pdu[0] & ~kExceptionBit) != lastFunction) {
        text = ProtocolText::Format("功能码不匹配: 期望0x%02X, 实际0x%02X", lastFunction, pdu[0]);
        return ErrorKind::Mismatch;
    }
    if ((pdu[0] & kExceptionBit) != 0)
        return ErrorKind::None;
    if (lastFunction == kWriteCoil) {
        if (pduLength < 5)
            return ErrorKind::None;
        // Setting a coil answers with the request's own address and value.
        if (pdu[1] == 0x00 && pdu[2] == lastWriteIndex && pdu[3] == lastWriteValue && pdu[4] == 0)
            return ErrorKind::None;
        text = ProtocolText::Format("写入应答不匹配: 期望线圈%d=0x%02X00, 实际线圈%d=0x%02X%02X",
                                    lastWriteIndex, lastWriteValue, pdu[1] * 256 + pdu[2], pdu[3],
                                    pdu[4]);
        return ErrorKind::Mismatch;
    }
    const int32_t expected = (lastCount + 7) / 8;
    if (pduLength < 2 || pdu[1] == expected)
        return ErrorKind::None;
    text = ProtocolText::Format("字节数不匹配: 期望%d, 实际%d", expected, pdu[1]);
    return ErrorKind::Mismatch;
}

bool ModbusPdu::AnswersLastRequest(const uint8_t* pdu, int32_t pduLength) const {
    std::string ignored;
    return MatchLastRequest(pdu, pduLength, ignored) == ErrorKind::None;
}

bool ModbusPdu::DecodeRead(const uint8_t* pdu, int32_t pduLength, std::string& list) {
    if (pduLength < 2)
        return false;
    const int32_t byteCount = pdu[1];
    if (pduLength < byteCount + 2)
        return false;

    // Bits beyond the requested quantity, or beyond what the answer carries, are ignored.
    const int32_t entries =
        std::min({int32_t{lastCount}, byteCount * 8, kPoints - int32_t{lastStart}});
    uint8_t* table = pdu[0] == kReadCoils ? coilStates : inputStates;
    const uint8_t* data = pdu + 2;
    for (int32_t i = 0; i < entries; ++i) {
        table[lastStart + i] = (data[i / 8] >> (i % 8)) & 0x01;
    }
    list = ProtocolText::StateList(table + lastStart, entries, lastStart);
    return true;
}

uint8_t ModbusPdu::ApplyWriteEcho(const uint8_t* fields, int32_t& coilAddress) {
    coilAddress = fields[0] * 256 + fields[1];
    const uint8_t state = (fields[2] == 0xFF && fields[3] == 0x00) ? 1 : 0;
    if (coilAddress < kPoints)
        coilStates[coilAddress] = state;
    return state;
}

const char* ModbusPdu::KindWord(uint8_t function) {
    return function == kReadCoils ? "线圈" : "离散输入";
}

std::string ModbusPdu::ExceptionText(uint8_t code) {
    switch (code) {
    case 1:
        return "非法功能";
    case 2:
        return "非法数据地址";
    case 3:
        return "非法数据值";
    default:
        return ProtocolText::Format("错误码: 0x%02X", code);
    }
}

bool ModbusPdu::GetCoilState(uint8_t index, uint8_t& out) const {
    if (index >= kPoints)
        return false;
    out = coilStates[index];
    return true;
}

bool ModbusPdu::GetInputState(uint8_t index, uint8_t& out) const {
    if (index >= kPoints)
        return false;
    out = inputStates[index];
    return true;
}

void ModbusPdu::ResetStates(uint8_t value) {
    std::memset(coilStates, value, sizeof coilStates);
    std::memset(inputStates, value, sizeof inputStates);
}
