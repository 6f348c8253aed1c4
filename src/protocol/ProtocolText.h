#pragma once

#include <cstdint>
#include <string>

// Texts that every protocol produces when it describes or refuses an answer.
class ProtocolText {
public:
    // Refusal of an answer too short to hold its fixed fields.
    static constexpr const char* kTooShort = "响应数据长度不足";

    // printf-style formatting into a UTF-8 string; an empty string if the format fails.
    static std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // "ON" for a non-zero state, "OFF" for 0.
    static const char* StateWord(uint8_t state);
    // "不支持的功能码: 0xNN" for a function or command code that is not understood.
    static std::string UnsupportedFunction(uint8_t code);
    // count entries of states as "n:ON" / "n:OFF" items joined by ", ", the first item
    // numbered firstNumber; empty for a count of 0 or less.
    static std::string StateList(const uint8_t* states, int32_t count, int32_t firstNumber);
};
