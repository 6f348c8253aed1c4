#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "comm/ICommunication.h"
#include "device/Device.h"
#include "protocol/ModbusProtocol.h"

using Bytes = std::vector<uint8_t>;

// A board of 32 coils, each wired to its input, answering Modbus RTU reads and writes at
// its address at once. A stuck coil stays off; two shorted coils switch together; a refused
// coil's writes, or every read, get an exception. After a number of writes it can fall silent, or
// its link can go.
struct Board {
    uint8_t address = 1;
    uint32_t baudRate = 0, parity = 0; // on a serial line: the only settings it hears (0: any)
    uint32_t coils = 0;
    int32_t stuckCoil = -1;
    int32_t shorted[2] = {-1, -1};
    int32_t refusedCoil = -1;  // its writes are answered "illegal data address"
    bool refusesReads = false; // so is every read
    int32_t writes = 0;
    int32_t silentAfterWrites = -1;              // from this many writes on nothing is answered
    int32_t lostAfterWrites = -1;                // from this many writes on the link is gone
    std::function<void()> onWrite;               // after each write is counted
    std::function<void(uint8_t address)> onRead; // each read of coils, to any address
};

class BoardCommunication : public ICommunication {
public:
    BoardCommunication(std::shared_ptr<Board> board, CommType kind)
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
        if (!open || (board->lostAfterWrites >= 0 && board->writes >= board->lostAfterWrites))
            return -1;
        const Bytes request(data, data + length);
        answer.clear();
        if (board->onRead && length >= 2 && request[1] == 1)
            board->onRead(request[0]);
        if (board->silentAfterWrites >= 0 && board->writes >= board->silentAfterWrites)
            return length;
        if (!heard || length != 8 || request[0] != board->address || request[1] > 5 ||
            ModbusProtocol::CalcCrc16(data, 6) != uint16_t(request[6] | request[7] << 8))
            return length; // not a request of this board's: no answer
        const uint16_t start = uint16_t(request[2] << 8 | request[3]);
        const uint16_t value = uint16_t(request[4] << 8 | request[5]);
        answer = {request[0], request[1]};
        const bool refused =
            request[1] == 5 ? int32_t(start) == board->refusedCoil : board->refusesReads;
        if (refused) {
            answer = {request[0], uint8_t(request[1] | 0x80), 0x02};
        } else if (request[1] == 5) {
            const bool on = value == 0xFF00 && int32_t(start) != board->stuckCoil;
            uint32_t mask = 1u << start;
            if (int32_t(start) == board->shorted[0] || int32_t(start) == board->shorted[1])
                mask = 1u << board->shorted[0] | 1u << board->shorted[1];
            board->coils = on ? board->coils | mask : board->coils & ~mask;
            ++board->writes;
            if (board->onWrite)
                board->onWrite();
            answer = request; // the echo, CRC included
            return length;
        } else {
            const uint32_t states = board->coils >> start; // inputs follow their coils
            answer.push_back(uint8_t((value + 7) / 8));
            for (int byte = 0; byte < (value + 7) / 8; ++byte)
                answer.push_back(uint8_t(states >> (8 * byte)));
        }
        const uint16_t crc = ModbusProtocol::CalcCrc16(answer.data(), int32_t(answer.size()));
        answer.push_back(uint8_t(crc & 0xFF));
        answer.push_back(uint8_t(crc >> 8));
        return length;
    }
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t) override {
        if (!open || (board->lostAfterWrites >= 0 && board->writes >= board->lostAfterWrites))
            return -1;
        const int32_t count = std::min(int32_t(answer.size()), size);
        std::copy_n(answer.begin(), count, buffer);
        answer.clear();
        return count;
    }
    void SetAnswerCheck(AnswerCheck) override {}
    int32_t DiscardPending(uint8_t*, int32_t) override { return open ? 0 : -1; }

private:
    std::shared_ptr<Board> board;
    CommType kind;
    bool heard = true; // the line settings match the board's
    Bytes answer;
    bool open = false;
};

// Device hooks whose every transport reaches `board`, on a clock that stands still.
inline Device::Hooks BoardHooks(const std::shared_ptr<Board>& board) {
    return {[board](CommType kind) { return std::make_unique<BoardCommunication>(board, kind); },
            [] { return int64_t(0); }, [](int32_t) {}};
}
