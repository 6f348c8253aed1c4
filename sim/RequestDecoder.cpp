#include "RequestDecoder.h"

#include "Checksums.h"

namespace {

constexpr size_t kFixedLength = 8; // every RTU and 0x55 request the board knows
constexpr size_t kMbapHeader = 6;  // bytes before the unit identifier's count starts
constexpr uint16_t kMinMbapLength = 2;
constexpr uint16_t kMaxMbapLength = 254;

uint16_t BigEndian(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool FixedModbusFunction(uint8_t function) {
    return function >= 1 && function <= 6;
}

} // namespace

RequestDecoder::RequestDecoder(std::optional<WireProtocol> pinned) : pinned(pinned) {}

bool RequestDecoder::Allows(WireProtocol protocol) const {
    return !pinned || *pinned == protocol;
}

RequestDecoder::Result RequestDecoder::Decode(const uint8_t *data, size_t length,
                                              std::optional<WireProtocol> preferred,
                                              bool atBoundary) const {
    Result result;
    if (length == 0) {
        result.status = Status::NeedMore;
        return result;
    }

    const bool fixedComplete = length >= kFixedLength;
    const bool is55 = Allows(WireProtocol::Protocol55) && fixedComplete && data[0] == 0x55 &&
                      Sum8(data, 7) == data[7];
    const bool isRtu = Allows(WireProtocol::ModbusRtu) && fixedComplete &&
                       ModbusCrc16(data, 6) == (data[6] | data[7] << 8);

    // MBAP: protocol identifier 0 and a length that the bytes so far do not contradict.
    const bool tcpAllowed = Allows(WireProtocol::ModbusTcp);
    const bool protocolIdZero = (length < 3 || data[2] == 0) && (length < 4 || data[3] == 0);
    const uint16_t mbapLength = length >= kMbapHeader ? BigEndian(data + 4) : 0;
    const bool mbapLengthPlausible =
        length < kMbapHeader || (mbapLength >= kMinMbapLength && mbapLength <= kMaxMbapLength);
    const bool mbapComplete = length >= kMbapHeader && length >= kMbapHeader + mbapLength;
    const bool tcpCandidate = tcpAllowed && protocolIdZero && mbapLengthPlausible;
    // The three functions of the board and their neighbours always carry 4 data bytes;
    // a length that says so is the strong sign of an MBAP frame.
    const bool isTcpStrict =
        tcpCandidate && mbapComplete && mbapLength == 6 && FixedModbusFunction(data[7]);
    const bool isTcpLoose = atBoundary && tcpCandidate && mbapComplete;

    // On a tie the framing last used on the channel wins, then the stronger check.
    std::optional<WireProtocol> chosen;
    auto valid = [&](WireProtocol p) {
        switch (p) {
        case WireProtocol::ModbusRtu:
            return isRtu;
        case WireProtocol::ModbusTcp:
            return isTcpStrict;
        case WireProtocol::Protocol55:
            return is55;
        }
        return false;
    };
    if (preferred && valid(*preferred)) {
        chosen = preferred;
    } else {
        for (WireProtocol p :
             {WireProtocol::ModbusRtu, WireProtocol::ModbusTcp, WireProtocol::Protocol55}) {
            if (valid(p)) {
                chosen = p;
                break;
            }
        }
    }
    if (!chosen && isTcpLoose)
        chosen = WireProtocol::ModbusTcp;

    if (!chosen) {
        const bool more55 = Allows(WireProtocol::Protocol55) && !fixedComplete && data[0] == 0x55;
        const bool moreRtu = Allows(WireProtocol::ModbusRtu) && !fixedComplete;
        const bool moreTcp = tcpCandidate && !mbapComplete;
        result.status = (more55 || moreRtu || moreTcp) ? Status::NeedMore : Status::Invalid;
        return result;
    }

    Request &request = result.request;
    request.protocol = *chosen;
    switch (*chosen) {
    case WireProtocol::Protocol55:
        result.length = kFixedLength;
        request.address = data[1];
        request.command = data[2];
        request.channel = data[6];
        break;
    case WireProtocol::ModbusRtu:
        result.length = kFixedLength;
        request.address = data[0];
        request.pdu.assign(data + 1, data + 6);
        break;
    case WireProtocol::ModbusTcp:
        result.length = kMbapHeader + mbapLength;
        request.transactionId = BigEndian(data);
        request.address = data[6];
        request.pdu.assign(data + 7, data + result.length);
        break;
    }
    request.frame.assign(data, data + result.length);
    result.status = Status::Complete;
    return result;
}
