#include "protocol/ModbusTcpProtocol.h"

#include "protocol/ProtocolText.h"

namespace {
constexpr int32_t kHeaderLength = 7; // MBAP header including the unit id
constexpr int32_t kMinAnswerLength = 9;
constexpr int32_t kMaxAnswerLength = 260; // the longest Modbus TCP frame
constexpr const char* kPduTooShort = "PDU 长度不足";

int32_t ReadU16(const uint8_t* bytes) {
    return bytes[0] * 256 + bytes[1];
}
} // namespace

// Completes a request whose PDU is already at out + 7 and takes its transaction id.
void ModbusTcpProtocol::Frame(uint8_t address, uint8_t* out, int32_t& outLength) {
    const uint16_t id = nextTransactionId;
    expectedTransactionId = id;
    nextTransactionId = id == 0xFFFF ? 1 : static_cast<uint16_t>(id + 1);

    out[0] = static_cast<uint8_t>(id >> 8);
    out[1] = static_cast<uint8_t>(id & 0xFF);
    out[2] = 0x00;
    out[3] = 0x00;
    out[4] = 0x00;
    out[5] = 1 + ModbusPdu::kRequestLength;
    out[6] = address;
    outLength = kRequestLength;
}

int32_t ModbusTcpProtocol::BuildRead(uint8_t function, uint8_t address, uint8_t start,
                                     uint8_t count, uint8_t* out, int32_t& outLength) {
    if (out == nullptr || !pdu.BuildRead(function, start, count, out + kHeaderLength))
        return -1;
    Frame(address, out, outLength);
    return 0;
}

int32_t ModbusTcpProtocol::BuildReadCoils(uint8_t address, uint8_t start, uint8_t count,
                                          uint8_t* out, int32_t& outLength) {
    return BuildRead(ModbusPdu::kReadCoils, address, start, count, out, outLength);
}

int32_t ModbusTcpProtocol::BuildReadInputs(uint8_t address, uint8_t start, uint8_t count,
                                           uint8_t* out, int32_t& outLength) {
    return BuildRead(ModbusPdu::kReadInputs, address, start, count, out, outLength);
}

int32_t ModbusTcpProtocol::BuildWriteCoil(uint8_t address, uint8_t index, bool on, uint8_t* out,
                                          int32_t& outLength) {
    if (out == nullptr)
        return -1;
    pdu.BuildWriteCoil(index, on, out + kHeaderLength);
    Frame(address, out, outLength);
    return 0;
}

AnswerVerdict ModbusTcpProtocol::ParseResponse(const uint8_t* data, int32_t length,
                                               std::string& text) {
    if (data == nullptr || length < kMinAnswerLength) {
        text = ProtocolText::kTooShort;
        return {ErrorKind::Malformed};
    }
    const int32_t transactionId = ReadU16(data);
    if (transactionId != expectedTransactionId) {
        text = ProtocolText::Format("事务ID不匹配: 期望%d, 实际%d", expectedTransactionId,
                                    transactionId);
        return {ErrorKind::Mismatch};
    }
    const int32_t protocolId = ReadU16(data + 2);
    if (protocolId != 0) {
        text = ProtocolText::Format("协议ID错误: 0x%04X", protocolId);
        return {ErrorKind::Malformed};
    }
    // The length field counts the unit id and the PDU.
    const int32_t rest = ReadU16(data + 4);
    if (length < rest + 6) {
        text = ProtocolText::Format("响应帧不完整: 期望%d字节, 实际%d字节", rest + 6, length);
        return {ErrorKind::Malformed};
    }
    if (rest < 2) {
        text = kPduTooShort;
        return {ErrorKind::Malformed};
    }

    const uint8_t unit = data[6];
    const uint8_t function = data[7];
    // A gateway may number its answers right and still answer another request.
    if (pdu.MatchLastRequest(data + kHeaderLength, rest - 1, text) != ErrorKind::None)
        return {ErrorKind::Mismatch};
    if ((function & ModbusPdu::kExceptionBit) != 0) {
        const uint8_t code = rest >= 3 ? data[8] : 0;
        text = ProtocolText::Format("单元%d响应异常: %s", unit,
                                    ModbusPdu::ExceptionText(code).c_str());
        return {ErrorKind::Exception, code};
    }
    if (function == ModbusPdu::kReadCoils || function == ModbusPdu::kReadInputs) {
        return ParseReadResponse(data + kHeaderLength, rest - 1, text);
    }
    if (function == ModbusPdu::kWriteCoil) {
        if (rest < 6) {
            text = kPduTooShort;
            return {ErrorKind::Malformed};
        }
        int32_t coilAddress = 0;
        const uint8_t state = pdu.ApplyWriteEcho(data + 8, coilAddress);
        text = ProtocolText::Format("写入线圈%d: %s", coilAddress, ProtocolText::StateWord(state));
        return {};
    }
    text = ProtocolText::UnsupportedFunction(function);
    return {ErrorKind::Malformed};
}

AnswerVerdict ModbusTcpProtocol::ParseReadResponse(const uint8_t* pduBytes, int32_t pduLength,
                                                   std::string& text) {
    if (pduLength < 2) {
        text = kPduTooShort;
        return {ErrorKind::Malformed};
    }
    std::string list;
    if (!pdu.DecodeRead(pduBytes, pduLength, list)) {
        text = ModbusPdu::kIncomplete;
        return {ErrorKind::Malformed};
    }
    text = ProtocolText::Format("读取%s状态(地址%d): %s", ModbusPdu::KindWord(pduBytes[0]),
                                pdu.LastStart(), list.c_str());
    return {};
}

int32_t ModbusTcpProtocol::AnswerLength(const uint8_t* data, int32_t length) const {
    if (data == nullptr || length < 0)
        return -1;
    for (int32_t i = 2; i < 4 && i < length; ++i) {
        if (data[i] != 0)
            return -1;
    }
    if (length < 6)
        return 0;
    const int32_t whole = ReadU16(data + 4) + 6;
    if (whole < kMinAnswerLength - 1 || whole > kMaxAnswerLength)
        return -1;
    return length >= whole ? whole : 0;
}

bool ModbusTcpProtocol::AnswersLastRequest(const uint8_t* data, int32_t length) const {
    return data == nullptr || length < 2 || ReadU16(data) == expectedTransactionId;
}

bool ModbusTcpProtocol::GetCoilState(uint8_t index, uint8_t& out) {
    return pdu.GetCoilState(index, out);
}

bool ModbusTcpProtocol::GetInputState(uint8_t index, uint8_t& out) {
    return pdu.GetInputState(index, out);
}

void ModbusTcpProtocol::ResetStates(uint8_t value) {
    pdu.ResetStates(value);
}

std::string ModbusTcpProtocol::GetName() {
    return "Modbus TCP";
}
