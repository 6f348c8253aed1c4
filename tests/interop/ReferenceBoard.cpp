#include "ReferenceBoard.h"

namespace {

uint16_t Crc16(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

uint8_t Sum8(const uint8_t* data, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    return sum;
}

} // namespace

ReferenceBoard::ReferenceBoard(ProtocolType protocol, uint8_t address)
    : protocol(protocol), address(address) {}

void ReferenceBoard::SetCoil(int index, bool on) {
    std::lock_guard<std::mutex> guard(mutex);
    coils[index] = on;
}

void ReferenceBoard::SetInput(int index, bool on) {
    std::lock_guard<std::mutex> guard(mutex);
    inputs[index] = on;
}

bool ReferenceBoard::Coil(int index) {
    std::lock_guard<std::mutex> guard(mutex);
    return coils[index];
}

ReferenceBoard::Bytes ReferenceBoard::AnswerModbusPdu(const uint8_t* pdu, size_t length) {
    if (length != 5)
        return {};
    const uint8_t function = pdu[0];
    const int first = pdu[1] << 8 | pdu[2];
    const int value = pdu[3] << 8 | pdu[4];
    std::lock_guard<std::mutex> guard(mutex);
    if (function == 0x01 || function == 0x02) {
        const bool* table = function == 0x01 ? coils : inputs;
        if (value < 1 || first + value > 32)
            return {static_cast<uint8_t>(function | 0x80), 0x02};
        Bytes answer = {function, static_cast<uint8_t>((value + 7) / 8)};
        answer.resize(2 + answer[1], 0);
        for (int i = 0; i < value; ++i) {
            if (table[first + i])
                answer[2 + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
        }
        return answer;
    }
    if (function == 0x05) {
        if (first >= 32)
            return {0x85, 0x02};
        if (value != 0xFF00 && value != 0x0000)
            return {0x85, 0x03};
        coils[first] = value == 0xFF00;
        return Bytes(pdu, pdu + length);
    }
    return {static_cast<uint8_t>(function | 0x80), 0x01};
}

ReferenceBoard::Bytes ReferenceBoard::Answer(const Bytes& request) {
    switch (protocol) {
    case ProtocolType::ModbusRtu: {
        if (request.size() != 8 || request[0] != address)
            return {};
        if (Crc16(request.data(), 6) != (request[6] | request[7] << 8))
            return {};
        Bytes answer = AnswerModbusPdu(request.data() + 1, 5);
        answer.insert(answer.begin(), address);
        const uint16_t crc = Crc16(answer.data(), answer.size());
        answer.push_back(static_cast<uint8_t>(crc & 0xFF));
        answer.push_back(static_cast<uint8_t>(crc >> 8));
        return answer;
    }
    case ProtocolType::ModbusTcp: {
        if (request.size() != 12 || request[2] != 0 || request[3] != 0)
            return {};
        if ((request[4] << 8 | request[5]) != 6)
            return {};
        Bytes pdu = AnswerModbusPdu(request.data() + 7, 5);
        Bytes answer(request.begin(), request.begin() + 7); // same transaction and unit
        const size_t rest = pdu.size() + 1;
        answer[4] = static_cast<uint8_t>(rest >> 8);
        answer[5] = static_cast<uint8_t>(rest & 0xFF);
        answer.insert(answer.end(), pdu.begin(), pdu.end());
        return answer;
    }
    case ProtocolType::Protocol55: {
        if (request.size() != 8 || request[0] != 0x55 || request[1] != address)
            return {};
        if (Sum8(request.data(), 7) != request[7])
            return {};
        const uint8_t command = request[2];
        const int channel = request[6];
        std::lock_guard<std::mutex> guard(mutex);
        if (command == 0x20) {
            if (channel < 1 || channel > 32)
                return {};
            coils[channel - 1] = !coils[channel - 1];
        } else if (command != 0x10) {
            return {};
        }
        uint32_t word = 0;
        for (int i = 0; i < 32; ++i) {
            if (coils[i])
                word |= 1u << i;
        }
        Bytes answer = {0x22,
                        address,
                        command,
                        static_cast<uint8_t>(word >> 24),
                        static_cast<uint8_t>(word >> 16),
                        static_cast<uint8_t>(word >> 8),
                        static_cast<uint8_t>(word)};
        answer.push_back(Sum8(answer.data(), answer.size()));
        return answer;
    }
    }
    return {};
}
