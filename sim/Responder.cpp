#include "Responder.h"

#include "AnswerEncoder.h"

namespace {

constexpr uint8_t kReadCoils = 0x01;
constexpr uint8_t kReadInputs = 0x02;
constexpr uint8_t kWriteCoil = 0x05;

constexpr uint8_t kIllegalFunction = 0x01;
constexpr uint8_t kIllegalAddress = 0x02;
constexpr uint8_t kIllegalValue = 0x03;

constexpr uint8_t kBroadcast = 0x00;
constexpr int kMaxReadQuantity = 2000; // the Modbus limit for bit reads

constexpr uint8_t kRelayRead = 0x10;
constexpr uint8_t kRelayOpen = 0x11;
constexpr uint8_t kRelayClose = 0x12;
constexpr uint8_t kRelayToggle = 0x20;

uint16_t Field(const std::vector<uint8_t> &pdu, size_t offset) {
    return static_cast<uint16_t>(pdu[offset] << 8 | pdu[offset + 1]);
}

Response Silent(std::string reason) {
    Response response;
    response.silentReason = std::move(reason);
    return response;
}

Response Answer(std::vector<uint8_t> bytes) {
    Response response;
    response.answered = true;
    response.bytes = std::move(bytes);
    return response;
}

bool IsModbus(const Request &request) {
    return request.protocol != WireProtocol::Protocol55;
}

} // namespace

Responder::Responder(Board &board, const AddressSet &addresses)
    : board(board), addresses(addresses) {}

bool Responder::IsAddressed(const Request &request) const {
    return addresses.test(request.address) ||
           (IsModbus(request) && request.address == kBroadcast);
}

Response Responder::Handle(const Request &request) {
    if (!IsAddressed(request)) {
        return Silent("for address " + std::to_string(request.address));
    }
    if (!IsModbus(request))
        return Relay55(request);

    std::vector<uint8_t> pdu = ModbusPdu(request.pdu);
    // A broadcast is carried out (when it writes) but never answered.
    if (request.address == kBroadcast)
        return Silent("broadcast");
    return Answer(AnswerEncoder::Modbus(request, pdu));
}

Response Responder::HandleWithException(const Request &request, uint8_t code) const {
    if (!IsModbus(request) || !addresses.test(request.address) || request.pdu.empty()) {
        return Silent("no exception for this request");
    }
    return Answer(
        AnswerEncoder::Modbus(request, AnswerEncoder::ExceptionPdu(request.pdu[0], code)));
}

Response Responder::Impostor(const Request &request) const {
    Board other(~board.CoilWord(), ~board.InputWord(), InputMode::Fixed);
    return Responder(other, addresses).Handle(request);
}

std::vector<uint8_t> Responder::ModbusPdu(const std::vector<uint8_t> &pdu) {
    const uint8_t function = pdu.empty() ? 0 : pdu[0];
    if (function != kReadCoils && function != kReadInputs && function != kWriteCoil) {
        return AnswerEncoder::ExceptionPdu(function, kIllegalFunction);
    }
    // All three functions carry two 16-bit fields; anything else is a malformed request.
    if (pdu.size() != 5)
        return AnswerEncoder::ExceptionPdu(function, kIllegalValue);
    const int first = Field(pdu, 1);
    const int second = Field(pdu, 3);

    if (function == kWriteCoil) {
        if (second != 0xFF00 && second != 0x0000) {
            return AnswerEncoder::ExceptionPdu(function, kIllegalValue);
        }
        if (first >= board.Points())
            return AnswerEncoder::ExceptionPdu(function, kIllegalAddress);
        board.SetCoil(first, second == 0xFF00);
        return pdu; // the answer echoes the request
    }

    if (second < 1 || second > kMaxReadQuantity) {
        return AnswerEncoder::ExceptionPdu(function, kIllegalValue);
    }
    if (first + second > board.Points()) {
        return AnswerEncoder::ExceptionPdu(function, kIllegalAddress);
    }
    const uint32_t word = function == kReadCoils ? board.CoilWord() : board.InputWord();
    return AnswerEncoder::ReadPdu(function, word, first, second);
}

Response Responder::Relay55(const Request &request) {
    const bool channelValid = request.channel >= 1 && request.channel <= board.Points();
    const int index = request.channel - 1;
    switch (request.command) {
    case kRelayRead:
        break;
    case kRelayOpen:
    case kRelayClose:
    case kRelayToggle:
        // A channel outside 1..32 switches nothing; the board still reports its status.
        if (!channelValid)
            break;
        if (request.command == kRelayToggle) {
            board.SetCoil(index, !board.Coil(index));
        } else {
            board.SetCoil(index, request.command == kRelayClose);
        }
        break;
    default:
        return Silent("unknown relay command");
    }
    return Answer(AnswerEncoder::Relay55(request.address, request.command, board.CoilWord()));
}
