#include "protocol/ModbusProtocol.h"

#include "protocol/ProtocolText.h"

namespace {
constexpr int32_t kMinAnswerLength = 4; // address, function, CRC
constexpr int32_t kWriteEchoLength = 8;
constexpr int32_t kExceptionLength = 5;
constexpr int32_t kMaxAnswerLength = 256; // the longest RTU frame
} // namespace

uint16_t ModbusProtocol::CalcCrc16(const uint8_t* data, int32_t length) {
    uint16_t crc = 0xFFFF;
    if (data == nullptr)
        return crc;
    for (int32_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 0x0001) != 0;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return crc;
}

// Completes a request whose PDU is already at out + 1: address in front, CRC behind.
void ModbusProtocol::Frame(uint8_t address, uint8_t* out, int32_t& outLength) {
    out[0] = address;
    const uint16_t crc = CalcCrc16(out, 1 + ModbusPdu::kRequestLength);
    out[6] = static_cast<uint8_t>(crc & 0xFF);
    out[7] = static_cast<uint8_t>(crc >> 8);
    outLength = kRequestLength;
}

int32_t ModbusProtocol::BuildRead(uint8_t function, uint8_t address, uint8_t start, uint8_t count,
                                  uint8_t* out, int32_t& outLength) {
    if (out == nullptr || !pdu.BuildRead(function, start, count, out + 1))
        return -1;
    Frame(address, out, outLength);
    return 0;
}

int32_t ModbusProtocol::BuildReadCoils(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                                       int32_t& outLength) {
    return BuildRead(ModbusPdu::kReadCoils, address, start, count, out, outLength);
}

int32_t ModbusProtocol::BuildReadInputs(uint8_t address, uint8_t start, uint8_t count, uint8_t* out,
                                        int32_t& outLength) {
    return BuildRead(ModbusPdu::kReadInputs, address, start, count, out, outLength);
}

int32_t ModbusProtocol::BuildWriteCoil(uint8_t address, uint8_t index, bool on, uint8_t* out,
                                       int32_t& outLength) {
    if (out == nullptr)
        return -1;
    pdu.BuildWriteCoil(index, on, out + 1);
    Frame(address, out, outLength);
    return 0;
}

AnswerVerdict ModbusProtocol::ParseResponse(const uint8_t* data, int32_t length,
                                            std::string& text) {
    if (data == nullptr || length < kMinAnswerLength) {
        text = ProtocolText::kTooShort;
        return {ErrorKind::Malformed};
    }
    // The CRC is checked before anything else is read from the frame.
    const uint16_t received = static_cast<uint16_t>(data[length - 2] | (data[length - 1] << 8));
    if (CalcCrc16(data, length - 2) != received) {
        text = "CRC校验错误";
        return {ErrorKind::Checksum};
    }

    const uint8_t address = data[0];
    const uint8_t function = data[1];
    // Without this, a late answer to another request, or the echo of this request on a
    // line that echoes, could be taken for this request's answer.
    if (pdu.MatchLastRequest(data + 1, length - 3, text) != ErrorKind::None)
        return {ErrorKind::Mismatch};
    if ((function & ModbusPdu::kExceptionBit) != 0) {
        // A 4-byte frame has no room for the code: byte 2 is then the CRC, not a code.
        const uint8_t code = length >= 5 ? data[2] : 0;
        text = ProtocolText::Format("设备%d响应异常: %s", address,
                                    ModbusPdu::ExceptionText(code).c_str());
        return {ErrorKind::Exception, code};
    }
    if (function == ModbusPdu::kReadCoils || function == ModbusPdu::kReadInputs) {
        return ParseReadResponse(data, length, text);
    }
    if (function == ModbusPdu::kWriteCoil) {
        if (length < kWriteEchoLength) {
            text = ProtocolText::kTooShort;
            return {ErrorKind::Malformed};
        }
        int32_t coilAddress = 0;
        const uint8_t state = pdu.ApplyWriteEcho(data + 2, coilAddress);
        text = ProtocolText::Format("设备%d写入线圈%d: %s", address, coilAddress,
                                    ProtocolText::StateWord(state));
        return {};
    }
    text = ProtocolText::UnsupportedFunction(function);
    return {ErrorKind::Malformed};
}

// frame has passed the length and CRC checks; its PDU lies between address and CRC.
AnswerVerdict ModbusProtocol::ParseReadResponse(const uint8_t* frame, int32_t length,
                                                std::string& text) {
    std::string list;
    if (!pdu.DecodeRead(frame + 1, length - 3, list)) {
        text = ModbusPdu::kIncomplete;
        return {ErrorKind::Malformed};
    }
    text = ProtocolText::Format("设备%d读取%s状态(地址%d): %s", frame[0],
                                ModbusPdu::KindWord(frame[1]), pdu.LastStart(), list.c_str());
    return {};
}

int32_t ModbusProtocol::AnswerLength(const uint8_t* data, int32_t length) const {
    if (data == nullptr || length < 2)
        return length < 0 ? -1 : 0;
    const uint8_t function = data[1];
    int32_t whole = 0;
    if ((function & ModbusPdu::kExceptionBit) != 0) {
        whole = kExceptionLength;
    } else if (function == ModbusPdu::kReadCoils || function == ModbusPdu::kReadInputs) {
        if (length < 3)
            return 0;
        whole = 5 + data[2];
    } else if (function == ModbusPdu::kWriteCoil) {
        whole = kWriteEchoLength;
    } else {
        return -1;
    }
    if (whole > kMaxAnswerLength)
        return -1;
    if (length < whole)
        return 0;
    const uint16_t crc = static_cast<uint16_t>(data[whole - 2] | (data[whole - 1] << 8));
    return CalcCrc16(data, whole - 2) == crc ? whole : -1;
}

bool ModbusProtocol::AnswersLastRequest(const uint8_t* data, int32_t length) const {
    return data == nullptr || length < 4 || pdu.AnswersLastRequest(data + 1, length - 3);
}

bool ModbusProtocol::GetCoilState(uint8_t index, uint8_t& out) {
    return pdu.GetCoilState(index, out);
}

bool ModbusProtocol::GetInputState(uint8_t index, uint8_t& out) {
    return pdu.GetInputState(index, out);
}

void ModbusProtocol::ResetStates(uint8_t value) {
    pdu.ResetStates(value);
}

std::string ModbusProtocol::GetName() {
    return "Modbus RTU";
}
