#include "protocol/ProtocolText.h"

#include <cstdarg>
#include <cstdio>
#include <string>

std::string ProtocolText::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    // Most texts fit the stack buffer; a long state list takes a second pass.
    char buffer[256];
    const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string result;
    if (needed < 0) {
        va_end(copy);
        return result;
    }
    if (static_cast<size_t>(needed) < sizeof buffer) {
        result.assign(buffer, static_cast<size_t>(needed));
    } else {
        result.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(&result[0], result.size(), format, copy);
        result.resize(static_cast<size_t>(needed));
    }
    va_end(copy);
    return result;
}

const char* ProtocolText::StateWord(uint8_t state) {
    return state != 0 ? "ON" : "OFF";
}

std::string ProtocolText::UnsupportedFunction(uint8_t code) {
    return Format("不支持的功能码: 0x%02X", code);
}

std::string ProtocolText::StateList(const uint8_t* states, int32_t count, int32_t firstNumber) {
    // Built by hand: this runs on every accepted answer, and 32 snprintf calls cost
    // more than the rest of the parse.
    std::string list;
    list.reserve(static_cast<size_t>(count > 0 ? count : 0) * 8);
    for (int32_t i = 0; i < count; ++i) {
        if (i != 0)
            list += ", ";
        list += std::to_string(firstNumber + i);
        list += ':';
        list += StateWord(states[i]);
    }
    return list;
}
