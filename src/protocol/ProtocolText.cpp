#include "protocol/ProtocolText.h"

#include <cstdarg>
#include <cstdio>

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
    std::string list;
    char item[32];
    for (int32_t i = 0; i < count; ++i) {
        const int n = std::snprintf(item, sizeof item, "%s%d:%s", i == 0 ? "" : ", ",
                                    static_cast<int>(firstNumber + i), StateWord(states[i]));
        if (n > 0)
            list.append(item, static_cast<size_t>(n));
    }
    return list;
}
