#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Board.h" // the simulator's board model, its request decoder and its answers
#include "RequestDecoder.h"
#include "Responder.h"
#include "comm/ICommunication.h"
#include "device/Device.h"

// The simulator's board, each input wired to its coil, answering at its address at once behind
// a fake transport, in each of the three framings. A refused coil's Modbus writes, or every
// Modbus read, get "illegal data address". After a number of Modbus writes it can fall silent,
// or its link can go.
struct FakeBoard : Board {
    explicit FakeBoard(uint32_t coils = 0) : Board(coils, 0, InputMode::Mirror) {}
    uint8_t address = 1;
    uint32_t baudRate = 0, parity = 0; // on a serial line: the only settings it hears (0: any)
    int32_t refusedCoil = -1;
    bool refusesReads = false;
    int32_t writes = 0;
    int32_t silentAfterWrites = -1;              // from this many writes on nothing is answered
    int32_t lostAfterWrites = -1;                // from this many writes on the link is gone
    std::function<void()> onWrite;               // after each write is counted
    std::function<void(uint8_t address)> onRead; // each read of coils, to any address
    bool Lost() const { return lostAfterWrites >= 0 && writes >= lostAfterWrites; }
};

class BoardCommunication : public ICommunication {
public:
    BoardCommunication(std::shared_ptr<FakeBoard> board, CommType kind)
        : board(std::move(board)), kind(kind) {}
    bool Initialize() override { return true; }
    bool Configure(const void* config) override {
        if (config != nullptr && kind == CommType::Serial) {
            const auto* serial = static_cast<const SerialConfig*>(config);
            heard = (board->baudRate == 0 || serial->baudRate == board->baudRate) &&
                    (board->baudRate == 0 || serial->parity == board->parity);
        }
        return config != nullptr;
    }
    bool Open() override { return open = true; }
    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    int32_t Send(const uint8_t* data, int32_t length) override {
        if (!open || board->Lost())
            return -1;
        answer.clear();
        const RequestDecoder::Result decoded = RequestDecoder().Decode(data, size_t(length));
        if (decoded.status != RequestDecoder::Status::Complete || decoded.length != size_t(length))
            return length; // no request: no answer
        const Request& request = decoded.request;
        const uint8_t function = request.pdu.empty() ? 0 : request.pdu[0]; // none in 0x55 frames
        const bool write = function == 5;
        if (board->onRead && function == 1)
            board->onRead(request.address);
        if (!heard || (board->silentAfterWrites >= 0 && board->writes >= board->silentAfterWrites))
            return length;
        Responder responder(*board, board->address);
        const bool refused = write ? (request.pdu[1] << 8 | request.pdu[2]) == board->refusedCoil
                                   : board->refusesReads;
        answer =
            (refused ? responder.HandleWithException(request, 2) : responder.Handle(request)).bytes;
        if (write && !refused && !answer.empty()) {
            ++board->writes;
            if (board->onWrite)
                board->onWrite();
        }
        return length;
    }
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t) override {
        if (!open || board->Lost())
            return -1;
        const int32_t count = std::min(int32_t(answer.size()), size);
        std::copy_n(answer.begin(), count, buffer);
        answer.clear();
        return count;
    }
    void SetAnswerCheck(AnswerCheck) override {}
    int32_t DiscardPending(uint8_t*, int32_t) override { return open ? 0 : -1; }

private:
    std::shared_ptr<FakeBoard> board;
    CommType kind;
    bool heard = true; // the line settings match the board's
    std::vector<uint8_t> answer;
    bool open = false;
};

// Device hooks whose every transport reaches `board`, on a clock that stands still.
inline Device::Hooks BoardHooks(const std::shared_ptr<FakeBoard>& board) {
    return {[board](CommType kind) { return std::make_unique<BoardCommunication>(board, kind); },
            [] { return int64_t(0); }, [](int32_t) {}};
}
