#include "Console.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unistd.h>

void Console::Traffic(const std::string &where, const char *direction,
                      const std::vector<uint8_t> &bytes) const {
    if (quiet)
        return;
    Write(STDOUT_FILENO, TimeStamp() + " " + where + " " + direction + " " + Hex(bytes) + "\n");
}

void Console::Note(const std::string &where, const std::string &text) const {
    if (quiet)
        return;
    Write(STDOUT_FILENO, TimeStamp() + " " + where + " -- " + text + "\n");
}

void Console::Line(const std::string &text) const {
    Write(STDOUT_FILENO, text + "\n");
}

void Console::Error(const std::string &text) {
    Write(STDERR_FILENO, "vornak-sim: " + text + "\n");
}

std::string Console::Hex(const std::vector<uint8_t> &bytes) {
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
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, now.tv_nsec / 1000000);
    return text;
}

void Console::Write(int fd, const std::string &text) {
    // One write per line keeps lines whole; a reader that has gone away (EPIPE) is
    // not the simulator's problem.
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}
