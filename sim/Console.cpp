#include "Console.h"

#include <chrono>
#include <cstdio>
#include <ctime>

void Console::Traffic(const std::string& where, const char* direction,
                      const std::vector<uint8_t>& bytes) const {
    if (quiet)
        return;
    Write(stdout, TimeStamp() + " " + where + " " + direction + " " + Hex(bytes) + "\n");
}

void Console::Note(const std::string& where, const std::string& text) const {
    if (quiet)
        return;
    Write(stdout, TimeStamp() + " " + where + " -- " + text + "\n");
}

void Console::Line(const std::string& text) const {
    Write(stdout, text + "\n");
}

void Console::Error(const std::string& text) {
    Write(stderr, "vornak-sim: " + text + "\n");
}

std::string Console::Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string Console::TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    // One thread prints, so the shared result of localtime is safe here.
    const std::tm local = *std::localtime(&seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms));
    return text;
}

void Console::Write(std::FILE* stream, const std::string& text) {
    // One write and a flush per line keeps lines whole and shows them at once; a reader
    // that has gone away is not the simulator's problem.
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}
