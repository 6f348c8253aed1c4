#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AddressList.h"
#include "Board.h"
#include "Request.h"

// What the board does with one request: the clean answer (before any fault), or the
// reason it stays silent.
struct Response {
    bool answered = false;
    std::vector<uint8_t> bytes;
    std::string silentReason; // why nothing is sent; empty when answered
};

// Carries out requests on the board as the device would: Modbus Read Coils (0x01),
// Read Discrete Inputs (0x02) and Write Single Coil (0x05) with the standard
// exceptions, and the relay commands 0x10, 0x11, 0x12 and 0x20.
class Responder {
public:
    // The board is shared with the rest of the simulator and must outlive this object. It
    // answers at each of `addresses`, with the address it was asked at.
    Responder(Board &board, const AddressSet &addresses);
    // A board at one address.
    Responder(Board &board, uint8_t address) : Responder(board, AddressSet().set(address)) {}

    // True when the request names this board (a Modbus broadcast, address 0, does too).
    bool IsAddressed(const Request &request) const;
    // Executes the request and frames its answer. Requests for other addresses,
    // broadcasts and unknown relay commands are not answered.
    Response Handle(const Request &request);
    // The Modbus exception answer with `code` to a Modbus request for this board,
    // without executing it; not answered for other requests.
    Response HandleWithException(const Request &request, uint8_t code) const;
    // The answer that another board at the same address with every state the other way
    // round would give: well-formed and wrong. This board does not change.
    Response Impostor(const Request &request) const;

private:
    std::vector<uint8_t> ModbusPdu(const std::vector<uint8_t> &pdu);
    Response Relay55(const Request &request);

    Board &board;
    AddressSet addresses;
};
